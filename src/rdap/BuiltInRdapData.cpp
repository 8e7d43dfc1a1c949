#include "rdap/BuiltInRdapData.h"

#include "rdap/EmbeddedRdapData.h"

#include <array>
#include <vector>

namespace whois {

std::string_view BuiltInBootstrapFile(RdapRegistry registry)
{
    switch (registry) {
    case RdapRegistry::Domain:
        return embedded::kRdapDnsBootstrap;
    case RdapRegistry::Ipv4:
        return embedded::kRdapIpv4Bootstrap;
    case RdapRegistry::Ipv6:
        return embedded::kRdapIpv6Bootstrap;
    case RdapRegistry::Autnum:
        return embedded::kRdapAsnBootstrap;
    }
    return {};
}

const RdapBootstrap& BuiltInBootstrap(RdapRegistry registry)
{
    static const std::array<RdapBootstrap, 4> parsed = [] {
        auto load = [](RdapRegistry r) {
            return RdapBootstrap::Parse(r, BuiltInBootstrapFile(r))
                .value_or(RdapBootstrap::Empty(r));
        };
        return std::array{load(RdapRegistry::Domain), load(RdapRegistry::Ipv4),
                          load(RdapRegistry::Ipv6), load(RdapRegistry::Autnum)};
    }();
    return parsed[static_cast<std::size_t>(registry)];
}

std::span<const RdapOverride> BuiltInOverrides()
{
    static const std::vector<RdapOverride> parsed =
        ParseRdapOverrides(embedded::kRdapOverrides).value_or(std::vector<RdapOverride>{});
    return parsed;
}

} // namespace whois
