#pragma once

#include "text/Text.h"

#include <string>
#include <string_view>

namespace whois {

// What a request asks for, which decides the servers that can answer it.
enum class QueryKind {
    Domain,         // a registrable domain or a host name a registry holds
    TopLevelDomain, // a top-level label itself ("io", typed as "io" or ".io")
    IpAddress,      // an IPv4 or IPv6 address
    AsNumber,       // "AS15169"
    Keyword,        // sent exactly as typed
};

// The query to send for what the user typed, in UTF-8: for a domain, host, host with a port
// or web address, the registrable domain in lower case (A-labels for a non-ASCII name); an
// IPv4 address as typed, an IPv6 address without brackets, an AS number as "AS<digits>", a
// top-level label without its dot. A text with inner spaces or control characters is a
// keyword query and goes out exactly as typed, as does anything that leaves no name. Never
// fails.
std::string WhoisQueryFromUtf8(std::string_view typed);

// The same for a code page 936 text; a query that goes out as typed keeps its code page.
Text WhoisQuery(std::string_view queryBoxText);

// The request line: the query followed by CR LF.
Text WhoisRequestLine(std::string_view queryBoxText);

// What kind of query a request made by WhoisQueryFromUtf8 is.
QueryKind KindOfQuery(std::string_view request);

} // namespace whois
