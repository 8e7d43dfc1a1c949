#include "Cp936Text.h"

#include "encoding/CodePageConversion.h"

#include <cstring>
#include <string>

namespace whois::app {

// UTF-16 buffers are little-endian, as QString's units are in memory on the machines this
// program is built for.
static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN);

Text ToCp936(const QString& text)
{
    const std::string_view units(reinterpret_cast<const char*>(text.utf16()),
                                 static_cast<std::size_t>(text.size()) * sizeof(char16_t));
    return Utf16ToCp936(units);
}

QString FromCp936(const Text& text)
{
    const ByteBuffer buffer = MultiByteToUtf16(text, CodePage::Cp936);
    std::u16string units(buffer.size() / sizeof(char16_t), u'\0');
    std::memcpy(units.data(), buffer.data(), units.size() * sizeof(char16_t));
    // The buffer ends with a zero unit that is not part of the text.
    const std::size_t end = units.find(u'\0');
    return QString::fromUtf16(
        units.data(), static_cast<qsizetype>(end == std::u16string::npos ? units.size() : end));
}

} // namespace whois::app
