#pragma once

#include "text/Text.h"

#include <optional>
#include <string>

namespace whois {

// The host name as the DNS knows it: an all-ASCII name unchanged, otherwise the code page
// 936 name read as characters and converted to IDNA A-labels (non-transitional, so "ß" stays
// distinct). Nothing when the name is empty, far too long, holds a zero byte,
// or cannot be converted.
std::optional<std::string> IdnaHostName(const Text& host);

// The same for a name in UTF-8.
std::optional<std::string> IdnaHostNameFromUtf8(const std::string& host);

} // namespace whois
