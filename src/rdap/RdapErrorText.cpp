#include "rdap/RdapErrorText.h"
#include "rdap/RdapJson.h"
#include "rdap/RdapLines.h"

namespace whois {

std::string RdapErrorText(int httpStatus, std::string_view body, std::string_view name)
{
    RdapLines lines;
    if (httpStatus == 404) {
        lines.Line("No match for \"" + std::string(TrimBlank(name)) + "\".");
    } else {
        lines.Line("The RDAP server answered with HTTP status " + std::to_string(httpStatus) + ".");
    }
    const auto error = ParseRdapObject(body);
    if (!error) {
        return lines.Take();
    }
    const std::string_view title = TrimBlank(StringMember(*error, "title"));
    if (!title.empty()) {
        lines.Lines(title);
    }
    if (const auto* description = ArrayMember(*error, "description")) {
        for (const Json& line : *description) {
            if (const auto* text = line.get_ptr<const Json::string_t*>()) {
                lines.Lines(*text);
            }
        }
    }
    return lines.Take();
}

} // namespace whois
