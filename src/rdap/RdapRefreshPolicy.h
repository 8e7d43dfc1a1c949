#pragma once

#include <chrono>
#include <optional>

namespace whois {

// A registry's data is refreshed once a day (IANA lets its files be cached that long) and,
// after a failed attempt, tried again no sooner than an hour later.
inline constexpr std::chrono::hours kRdapRefreshInterval{24};
inline constexpr std::chrono::hours kRdapRetryInterval{1};

// What is known of a registry's past refreshes.
struct RdapRefreshState {
    std::optional<std::chrono::sys_seconds> lastRefreshed; // the last fetch that succeeded
    std::optional<std::chrono::sys_seconds> lastFailed;    // the last fetch that failed
};

// Whether to fetch the registry's file at `now`: not while the last success is less than a
// day old, nor while the last failure is less than an hour old; otherwise yes (also when
// nothing was ever fetched). A time after `now` (the clock was set back) counts as unknown.
bool RdapRefreshDue(const RdapRefreshState& state, std::chrono::sys_seconds now);

} // namespace whois
