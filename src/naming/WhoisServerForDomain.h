#pragma once

#include "text/Text.h"

namespace whois {

// The public directory in which "<label>.whois-servers.net" is an alias of the whois server
// of that top-level label's registry.
inline constexpr std::string_view WhoisDirectorySuffix = ".whois-servers.net";

// The host name of the registry's whois server for `domain`: the bytes after its first dot
// (all of it when it has none) followed by WhoisDirectorySuffix. Never fails.
Text WhoisServerForDomain(std::string_view domain);

} // namespace whois
