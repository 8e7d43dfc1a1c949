#pragma once

#include <array>
#include <string>
#include <string_view>

namespace whois {

// One kind of RDAP bootstrap file: which objects it tells the server of.
enum class RdapRegistry { Domain, Ipv4, Ipv6, Autnum };

inline constexpr std::array<RdapRegistry, 4> kRdapRegistries = {
    RdapRegistry::Domain, RdapRegistry::Ipv4, RdapRegistry::Ipv6, RdapRegistry::Autnum};

// The name IANA gives the registry's file, without ".json": "dns", "ipv4", "ipv6" or "asn".
std::string_view RdapRegistryName(RdapRegistry registry);

// Where IANA publishes the registry's bootstrap file, e.g. "https://data.iana.org/rdap/dns.json".
std::string IanaBootstrapUrl(RdapRegistry registry);

} // namespace whois
