#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace whois {

// The wait a Retry-After value asks for: delay seconds, or an HTTP date counted from `now`
// (a date already past gives zero). Nothing for a value that is neither.
std::optional<std::chrono::seconds> ParseRetryAfter(std::string_view value,
                                                    std::chrono::system_clock::time_point now);

} // namespace whois
