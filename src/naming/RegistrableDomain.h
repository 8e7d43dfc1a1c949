#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace whois {

// The domain a registry holds for `host` (lower-case ASCII or A-labels), by the Public
// Suffix List: "mail.example.co.uk" gives "example.co.uk". Nothing when the host is itself
// a public suffix ("co.uk", "localhost") or the list cannot be read.
std::optional<std::string> RegistrableDomain(std::string_view host);

} // namespace whois
