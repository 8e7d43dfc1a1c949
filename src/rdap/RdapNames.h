#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace whois {

// `name` in the form bootstrap entries are matched in: ASCII lower case, one trailing dot
// dropped. Nothing when a label is empty or holds anything but letters, digits, '-' and '_'
// (so U-labels must be converted to A-labels first).
std::optional<std::string> NormalizedRdapDomain(std::string_view name);

// `url` as a base URL: an http:// or https:// URL (scheme in any case) with a host, ending
// in '/' (added when missing). Nothing for other schemes, blanks or control bytes.
std::optional<std::string> RdapBaseUrl(std::string_view url);

// Whether a base URL is reached over TLS.
bool IsHttpsUrl(std::string_view url);

} // namespace whois
