#include "lookup/LookupBoxes.h"

#include "encoding/CodePageConversion.h"

namespace whois {

std::string LookupBoxes::ReadQueryBoxUtf8() const
{
    return Utf16ToMultiByte(MultiByteToUtf16(ReadQueryBox(), CodePage::Cp936), CodePage::Utf8);
}

} // namespace whois
