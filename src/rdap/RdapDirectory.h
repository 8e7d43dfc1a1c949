#pragma once

#include "rdap/RdapBootstrap.h"
#include "rdap/RdapOverrides.h"
#include "rdap/RdapRegistry.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace whois {

// The four bootstrap registries, with the overrides laid over the domain one: an override
// for a name wins over IANA's entry for it or fills a gap.
class RdapDirectory {
  public:
    // Empty registries and the given overrides.
    explicit RdapDirectory(std::span<const RdapOverride> overrides);
    // The registries and overrides the program carries.
    static RdapDirectory BuiltIn();

    // Base URLs (each ending in '/', https ones first) of the RDAP service for the object;
    // empty when no registry names one. The caller appends "domain/<name>", "ip/<address>"
    // or "autnum/<number>".
    // `name`: A-labels, any case, one trailing dot allowed.
    std::vector<std::string> ServersForDomain(std::string_view name) const;
    // `address`: IPv4 or IPv6 text, optionally "/length"; an IPv4-mapped IPv6 address is
    // looked up as the IPv4 address.
    std::vector<std::string> ServersForIp(std::string_view address) const;
    std::vector<std::string> ServersForAutnum(std::uint32_t number) const;

    // The registry's file as parsed, without the overrides.
    const RdapBootstrap& Bootstrap(RdapRegistry registry) const;
    // Puts `bootstrap` in place of the registry it is of (e.g. a refreshed file).
    void Replace(const RdapBootstrap& bootstrap);

  private:
    std::vector<RdapOverride> overrides_;
    std::vector<RdapBootstrap> files_; // by RdapRegistry
    RdapBootstrap domainsWithOverrides_;
};

} // namespace whois
