#pragma once

#include <string>
#include <string_view>

namespace whois {

// Lines for the user after an HTTP error status from an RDAP server, `name` being what was
// asked. 404 gives `No match for "<name>".`, any other status a line naming the status; then
// the title and description lines of the body when it is an RDAP error object. Never fails.
std::string RdapErrorText(int httpStatus, std::string_view body, std::string_view name);

} // namespace whois
