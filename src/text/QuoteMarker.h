#pragma once

#include <string_view>

namespace whois {

// "#引号" in code page 936: a marker that patterns and search markers may use to spell a
// double quote, which is awkward to write where they are composed.
inline constexpr std::string_view kQuoteMarker = "#\xD2\xFD\xBA\xC5";

} // namespace whois
