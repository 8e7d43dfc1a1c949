#include "encoding/DecodeResponse.h"

#include "encoding/IcuConversion.h"

namespace whois {

Text DecodeResponse(std::string_view received)
{
    // The answer's UTF-16 form holds no zero unit, so the whole of it is converted back.
    const std::u16string units = DecodeToUnits(UpToFirstZero(received), CodePage::Utf8);
    return EncodeUnits(units, CodePage::Cp936, false);
}

} // namespace whois
