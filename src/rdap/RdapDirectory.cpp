#include "rdap/RdapDirectory.h"

#include "rdap/BuiltInRdapData.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

namespace whois {
namespace {

// "a.b.c.d[/length]" for an IPv4-mapped IPv6 address ("::ffff:a.b.c.d[/length]" with a
// length of at least 96); nothing for any other text.
std::optional<std::string> MappedIpv4(std::string_view address)
{
    const std::size_t slash = address.find('/');
    const std::string text(address.substr(0, slash));
    in6_addr parsed{};
    if (text.find('\0') != std::string::npos || inet_pton(AF_INET6, text.c_str(), &parsed) != 1) {
        return std::nullopt;
    }
    unsigned char bytes[16];
    std::memcpy(bytes, &parsed, sizeof bytes);
    static constexpr unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::memcmp(bytes, kMapped, sizeof kMapped) != 0) {
        return std::nullopt;
    }
    std::string mapped = std::to_string(bytes[12]) + '.' + std::to_string(bytes[13]) + '.' +
                         std::to_string(bytes[14]) + '.' + std::to_string(bytes[15]);
    if (slash != std::string_view::npos) {
        const std::string_view length = address.substr(slash + 1);
        int value = 0;
        for (const char c : length) {
            if (c < '0' || c > '9' || value > 128) {
                return std::nullopt;
            }
            value = value * 10 + (c - '0');
        }
        if (length.empty() || value < 96 || value > 128) {
            return std::nullopt;
        }
        mapped += '/' + std::to_string(value - 96);
    }
    return mapped;
}

} // namespace

RdapDirectory::RdapDirectory(std::span<const RdapOverride> overrides)
    : overrides_(overrides.begin(), overrides.end()),
      files_{RdapBootstrap::Empty(RdapRegistry::Domain), RdapBootstrap::Empty(RdapRegistry::Ipv4),
             RdapBootstrap::Empty(RdapRegistry::Ipv6), RdapBootstrap::Empty(RdapRegistry::Autnum)},
      domainsWithOverrides_(files_.front().Overlaid(overrides_))
{
}

RdapDirectory RdapDirectory::BuiltIn()
{
    RdapDirectory directory(BuiltInOverrides());
    for (const RdapRegistry registry : kRdapRegistries) {
        directory.Replace(BuiltInBootstrap(registry));
    }
    return directory;
}

std::vector<std::string> RdapDirectory::ServersForDomain(std::string_view name) const
{
    return domainsWithOverrides_.ServersFor(name);
}

std::vector<std::string> RdapDirectory::ServersForIp(std::string_view address) const
{
    if (address.find(':') == std::string_view::npos) {
        return Bootstrap(RdapRegistry::Ipv4).ServersFor(address);
    }
    if (const auto mapped = MappedIpv4(address)) {
        return Bootstrap(RdapRegistry::Ipv4).ServersFor(*mapped);
    }
    return Bootstrap(RdapRegistry::Ipv6).ServersFor(address);
}

std::vector<std::string> RdapDirectory::ServersForAutnum(std::uint32_t number) const
{
    return Bootstrap(RdapRegistry::Autnum).ServersFor(std::to_string(number));
}

const RdapBootstrap& RdapDirectory::Bootstrap(RdapRegistry registry) const
{
    return files_[static_cast<std::size_t>(registry)];
}

void RdapDirectory::Replace(const RdapBootstrap& bootstrap)
{
    files_[static_cast<std::size_t>(bootstrap.Registry())] = bootstrap;
    if (bootstrap.Registry() == RdapRegistry::Domain) {
        domainsWithOverrides_ = bootstrap.Overlaid(overrides_);
    }
}

} // namespace whois
