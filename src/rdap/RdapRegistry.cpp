#include "rdap/RdapRegistry.h"

namespace whois {

std::string_view RdapRegistryName(RdapRegistry registry)
{
    switch (registry) {
    case RdapRegistry::Domain:
        return "dns";
    case RdapRegistry::Ipv4:
        return "ipv4";
    case RdapRegistry::Ipv6:
        return "ipv6";
    case RdapRegistry::Autnum:
        return "asn";
    }
    return "dns";
}

std::string IanaBootstrapUrl(RdapRegistry registry)
{
    std::string url = "https://data.iana.org/rdap/";
    url += RdapRegistryName(registry);
    url += ".json";
    return url;
}

} // namespace whois
