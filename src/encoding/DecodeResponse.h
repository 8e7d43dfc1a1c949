#pragma once

#include "text/Text.h"

namespace whois {

// The answer's bytes before the first zero byte, read as UTF-8 and written in code page 936.
// Invalid UTF-8 and characters that code page 936 lacks become "?"; line ends and other
// control characters pass unchanged. Never fails; the result holds no zero byte.
Text DecodeResponse(std::string_view received);

} // namespace whois
