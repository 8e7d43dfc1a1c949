#pragma once

#include "text/Text.h"

#include <optional>

namespace whois {

// Reduces a typed address (domain, host, host:port or web address) to a domain. The text is
// lower-cased; with `levels` given, every "http://" and "https://" goes, the text is cut at
// its first "/" and only the labels after the (levels + 1)-th dot from the right are kept
// ((levels + 2)-th without `mainDomainOnly`); without `levels` the host is read from the web
// address and `mainDomainOnly` keeps its last two labels. Without `keepPort` everything from
// the first ":" on goes. Never fails; `address` is only read.
Text ExtractDomain(std::string_view address, std::optional<bool> mainDomainOnly = std::nullopt,
                   std::optional<bool> keepPort = std::nullopt,
                   std::optional<Position> levels = std::nullopt);

} // namespace whois
