#pragma once

#include "rdap/RdapBootstrap.h"
#include "rdap/RdapOverrides.h"
#include "rdap/RdapRegistry.h"

#include <span>
#include <string_view>

namespace whois {

// The bootstrap file the program carries for the registry, byte for byte.
std::string_view BuiltInBootstrapFile(RdapRegistry registry);

// That file parsed once, on first use. Never fails: a file that did not parse would be an
// empty registry (the tests make sure none is).
const RdapBootstrap& BuiltInBootstrap(RdapRegistry registry);

// The overrides the program carries, parsed once; empty if they did not parse.
std::span<const RdapOverride> BuiltInOverrides();

} // namespace whois
