#include "rdap/RdapRefreshPolicy.h"

namespace whois {
namespace {

bool Within(const std::optional<std::chrono::sys_seconds>& when, std::chrono::sys_seconds now,
            std::chrono::seconds span)
{
    return when && *when <= now && now - *when < span;
}

} // namespace

bool RdapRefreshDue(const RdapRefreshState& state, std::chrono::sys_seconds now)
{
    return !Within(state.lastRefreshed, now, kRdapRefreshInterval) &&
           !Within(state.lastFailed, now, kRdapRetryInterval);
}

} // namespace whois
