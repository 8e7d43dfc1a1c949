#include "net/IdnaHostName.h"

#include <algorithm>
#include <cstdint>
#include <memory>

#include <idn2.h>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>

namespace whois {

namespace {

// Far beyond the 253 bytes the DNS allows; keeps the converters' 32-bit counts safe.
constexpr std::size_t kMaxHostBytes = 4096;

// Code page 936 to UTF-8 with the Windows table; nothing when a byte sequence has no mapping,
// so a damaged name is refused instead of being looked up with substitutes.
std::optional<std::string> Cp936ToUtf8(const Text& text)
{
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<UConverter, decltype(&ucnv_close)> converter(
        ucnv_open("windows-936-2000", &status), &ucnv_close);
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                        &status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }

    // Every byte gives at most one UTF-16 unit, and every unit at most three UTF-8 bytes.
    std::u16string utf16(text.size() + 1, u'\0');
    const std::int32_t units =
        ucnv_toUChars(converter.get(), utf16.data(), static_cast<std::int32_t>(utf16.size()),
                      text.data(), static_cast<std::int32_t>(text.size()), &status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    std::string utf8(static_cast<std::size_t>(units) * 3 + 1, '\0');
    std::int32_t length = 0;
    u_strToUTF8(utf8.data(), static_cast<std::int32_t>(utf8.size()), &length, utf16.data(), units,
                &status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    utf8.resize(static_cast<std::size_t>(length));
    return utf8;
}

} // namespace

std::optional<std::string> IdnaHostName(const Text& host)
{
    if (host.empty() || host.size() > kMaxHostBytes || host.find('\0') != Text::npos) {
        return std::nullopt;
    }
    if (std::none_of(host.begin(), host.end(), IsLeadByte)) {
        return host;
    }
    const auto utf8 = Cp936ToUtf8(host);
    if (!utf8) {
        return std::nullopt;
    }
    char* ascii = nullptr;
    if (idn2_to_ascii_8z(utf8->c_str(), &ascii, IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL) != IDN2_OK) {
        return std::nullopt;
    }
    std::string result(ascii);
    idn2_free(ascii);
    return result;
}

} // namespace whois
