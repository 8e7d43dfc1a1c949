#pragma once

#include "rdap/RdapOverrides.h"
#include "rdap/RdapRegistry.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace whois {

// One parsed RDAP bootstrap file; immutable once made.
class RdapBootstrap {
  public:
    // Nothing unless `json` is a bootstrap file of the registry's kind: "version" "1.0", a
    // "publication" date-time (RFC 3339) and "services", an array of [entries[], urls[]]
    // pairs of strings whose entries are valid for the registry (domain names, CIDR prefixes
    // or AS numbers and ranges). URLs other than http(s) are dropped; a missing final '/'
    // is added.
    static std::optional<RdapBootstrap> Parse(RdapRegistry registry, std::string_view json);
    // A registry with no services and the earliest publication; never matches.
    static RdapBootstrap Empty(RdapRegistry registry);

    RdapRegistry Registry() const { return registry_; }
    // The file's "publication" as given, and as a time (empty and the epoch for Empty()).
    const std::string& Publication() const { return publication_; }
    std::chrono::sys_seconds PublicationTime() const { return publicationTime_; }

    // The base URLs of the service for `query`, https ones first, otherwise in the file's
    // order; empty when none serves it or the query is not of the registry's kind.
    // Domain: an A-label name, any case, one trailing dot allowed; the longest suffix of
    // whole labels that has an entry wins. Ipv4/Ipv6: an address or "address/length"; the
    // longest prefix that holds it wins. Autnum: "15169" or "AS15169"; the narrowest range.
    std::vector<std::string> ServersFor(std::string_view query) const;

    // A copy with each override's name served by its base URL alone, whether the file named
    // that domain or not. Only a Domain registry takes overrides; others are copied as they are.
    RdapBootstrap Overlaid(std::span<const RdapOverride> overrides) const;

  private:
    struct Ipv4Prefix {
        std::uint32_t network;
        int length;
        std::size_t service;
    };
    struct Ipv6Prefix {
        std::array<std::uint8_t, 16> network;
        int length;
        std::size_t service;
    };
    struct AutnumRange {
        std::uint32_t first;
        std::uint32_t last;
        std::size_t service;
    };

    explicit RdapBootstrap(RdapRegistry registry) : registry_(registry) {}
    bool AddEntry(std::string_view entry, std::size_t service);
    void Index();
    std::optional<std::size_t> DomainService(std::string_view query) const;
    std::optional<std::size_t> Ipv4Service(std::string_view query) const;
    std::optional<std::size_t> Ipv6Service(std::string_view query) const;
    std::optional<std::size_t> AutnumService(std::string_view query) const;

    RdapRegistry registry_;
    std::string publication_;
    std::chrono::sys_seconds publicationTime_{};
    std::vector<std::vector<std::string>> services_;
    std::unordered_map<std::string, std::size_t> domains_;
    std::vector<Ipv4Prefix> ipv4_;
    std::vector<Ipv6Prefix> ipv6_;
    std::vector<AutnumRange> autnums_;
};

} // namespace whois
