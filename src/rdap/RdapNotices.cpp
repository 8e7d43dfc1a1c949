#include "rdap/RdapObjectText.h"

namespace whois {

void WriteNotices(const Json& object, std::string_view member, RdapLines& lines)
{
    const auto* notices = ArrayMember(object, member);
    if (notices == nullptr) {
        return;
    }
    for (const Json& notice : *notices) {
        if (!notice.is_object()) {
            continue;
        }
        lines.Blank();
        const std::string_view title = TrimBlank(StringMember(notice, "title"));
        if (!title.empty()) {
            lines.Lines(title);
        }
        if (const auto* description = ArrayMember(notice, "description")) {
            for (const Json& line : *description) {
                if (const auto* text = line.get_ptr<const Json::string_t*>()) {
                    lines.Lines(*text);
                }
            }
        }
        if (const auto* links = ArrayMember(notice, "links")) {
            for (const Json& link : *links) {
                const std::string_view href = TrimBlank(StringMember(link, "href"));
                if (!href.empty()) {
                    lines.Lines(href);
                }
            }
        }
    }
}

} // namespace whois
