#pragma once

#include "text/Text.h"

namespace whois {

// The whois server that a decoded answer names: group 1 of the last match of
// "Whois Server:(.+?)\s" (letter case ignored), trimmed of spaces. The empty text when the
// answer names none. Never fails and never changes the answer.
Text FindReferralServer(std::string_view answer);

// Compiles the search's pattern ahead, so that searching the first answer does not wait for
// it: for a lookup whose first server has just been asked.
void PrepareReferralSearch();

} // namespace whois
