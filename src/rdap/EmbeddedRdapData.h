#pragma once

#include <string_view>

// The files of data/rdap, embedded at build time.
namespace whois::embedded {

extern const std::string_view kRdapDnsBootstrap;
extern const std::string_view kRdapIpv4Bootstrap;
extern const std::string_view kRdapIpv6Bootstrap;
extern const std::string_view kRdapAsnBootstrap;
extern const std::string_view kRdapOverrides;

} // namespace whois::embedded
