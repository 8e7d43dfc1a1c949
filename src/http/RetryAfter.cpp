#include "http/RetryAfter.h"

#include "http/CurlApi.h"

#include <algorithm>
#include <charconv>
#include <string>

namespace whois {

namespace {

std::string_view Trim(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

} // namespace

std::optional<std::chrono::seconds> ParseRetryAfter(std::string_view value,
                                                    std::chrono::system_clock::time_point now)
{
    value = Trim(value);
    if (value.empty()) {
        return std::nullopt;
    }
    if (std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        long long seconds = 0;
        const auto [end, error] =
            std::from_chars(value.data(), value.data() + value.size(), seconds);
        if (error != std::errc{}) {
            return std::nullopt; // too many digits to be a sensible wait
        }
        return std::chrono::seconds{seconds};
    }
    const std::string text(value);
    const CurlApi* curl = Curl();
    if (curl == nullptr) {
        return std::nullopt;
    }
    const time_t at = curl->getdate(text.c_str(), nullptr);
    if (at == -1) {
        return std::nullopt;
    }
    const auto wait = std::chrono::system_clock::from_time_t(at) - now;
    return std::max(std::chrono::ceil<std::chrono::seconds>(wait), std::chrono::seconds{0});
}

} // namespace whois
