#pragma once

#include "text/Text.h"

namespace whois {

// The query to send for what the user typed: for a domain, host, host with a port or web
// address, the registrable domain in lower case (A-labels for a non-ASCII name); an IP
// address as it is. A text with inner spaces or control characters is a keyword query and
// goes out exactly as typed, as does anything that leaves no name. Never fails.
Text WhoisQuery(std::string_view queryBoxText);

// The request line: the query followed by CR LF.
Text WhoisRequestLine(std::string_view queryBoxText);

} // namespace whois
