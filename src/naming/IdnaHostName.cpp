#include "naming/IdnaHostName.h"

#include "encoding/IcuConversion.h"

#include <algorithm>
#include <cstdint>
#include <memory>

#include <idn2.h>

namespace whois {

namespace {

// Far beyond the 253 bytes the DNS allows; keeps the converters' 32-bit counts safe.
constexpr std::size_t kMaxHostBytes = 4096;

// Code page 936 to UTF-8 with the Windows table; nothing when a byte sequence has no mapping,
// so a damaged name is refused instead of being looked up with substitutes.
std::optional<std::string> Cp936ToUtf8(const Text& text)
{
    const std::u16string units = DecodeToUnits(text, CodePage::Cp936);
    if (units.find(u'\uFFFD') != std::u16string::npos) {
        return std::nullopt;
    }
    return EncodeUnits(units, CodePage::Utf8, false);
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
    return IdnaHostNameFromUtf8(*utf8);
}

std::optional<std::string> IdnaHostNameFromUtf8(const std::string& host)
{
    if (host.empty() || host.size() > kMaxHostBytes || host.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    if (std::none_of(host.begin(), host.end(), IsLeadByte)) {
        return host;
    }
    char* ascii = nullptr;
    if (idn2_to_ascii_8z(host.c_str(), &ascii, IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL) != IDN2_OK) {
        return std::nullopt;
    }
    std::string result(ascii);
    idn2_free(ascii);
    return result;
}

} // namespace whois
