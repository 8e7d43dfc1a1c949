#pragma once

#include "text/Text.h"

#include <optional>

namespace whois {

// The bytes between the first `left` marker found from `start` and the first `right` marker
// after it; the empty text when either is missing. In both markers the text "#引号" (code
// page 936) stands for a double quote. Never fails and never changes its arguments.
Text TextBetween(std::string_view text, std::string_view left, std::string_view right,
                 std::optional<Position> start = std::nullopt,
                 std::optional<bool> ignoreCase = std::nullopt);

} // namespace whois
