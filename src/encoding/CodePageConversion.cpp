#include "encoding/CodePageConversion.h"

#include "encoding/IcuConversion.h"

namespace whois {
namespace {

std::u16string WholeUnits(std::string_view utf16)
{
    std::u16string units(utf16.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(utf16[2 * i]) |
                                         static_cast<unsigned char>(utf16[2 * i + 1]) << 8);
    }
    return units;
}

} // namespace

ByteBuffer MultiByteToUtf16(std::string_view text, CodePage codePage)
{
    const std::string_view read = UpToFirstZero(text);
    if (read.empty()) {
        return {};
    }
    const std::u16string units = DecodeToUnits(read, codePage);
    ByteBuffer buffer(2 * (units.size() + 1), '\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        buffer[2 * i] = static_cast<char>(units[i] & 0xFF);
        buffer[2 * i + 1] = static_cast<char>(units[i] >> 8);
    }
    return buffer;
}

Text Utf16ToMultiByte(std::string_view utf16, CodePage codePage)
{
    const std::u16string units = WholeUnits(utf16);
    return Text(UpToFirstZero(EncodeUnits(UpToFirstZero(units), codePage, false)));
}

Text Utf16ToCp936(std::string_view utf16)
{
    return Text(UpToFirstZero(EncodeUnits(WholeUnits(utf16), CodePage::Cp936, true)));
}

} // namespace whois
