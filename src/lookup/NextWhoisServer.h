#pragma once

#include "text/Text.h"

#include <string_view>

namespace whois {

// The server a decoded answer sends the query on to, by the first rule that names one:
// 1. the last "Whois Server:" line (a registry naming the registrar's server);
// 2. for IANA's answers only, the "refer:" line, else the "whois:" line (a key present with
//    an empty value names nothing);
// 3. the last "ReferralServer:" line of the address registries, when it is "whois://host"
//    with no port or port 43 (rwhois and other ports are not followed).
// The empty text when no rule names a server. Never fails.
Text NextWhoisServer(std::string_view answer, bool fromIana);

// The first server that complete lines of an answer name by the rules above, for looking
// its name up before the whole answer is in: the lines with a key of a rule, one by one.
Text ReferralHint(std::string_view lines, bool fromIana);

// Rule 2 alone: the server IANA's answer names.
Text IanaReferral(std::string_view answer);

// Rule 3 alone: the host of the last whois:// referral line, if it is to be followed.
Text AddressRegistryReferral(std::string_view answer);

} // namespace whois
