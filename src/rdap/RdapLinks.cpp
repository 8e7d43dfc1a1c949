#include "rdap/RdapLinks.h"
#include "rdap/RdapJson.h"
#include "rdap/RdapLines.h"
#include "rdap/RdapObjectText.h"

namespace whois {
namespace {

// The media type without its parameters ("; charset=...") and the spaces around it.
std::string_view MediaType(std::string_view type)
{
    return TrimBlank(type.substr(0, type.find(';')));
}

} // namespace

std::string RdapRelatedLink(std::string_view json)
{
    const auto answer = ParseRdapObject(json);
    return answer ? RelatedLinkOf(*answer) : std::string();
}

std::string RelatedLinkOf(const Json& object)
{
    const auto* links = ArrayMember(object, "links");
    if (links == nullptr) {
        return {};
    }
    for (const Json& link : *links) {
        if (EqualsIgnoringCase(TrimBlank(StringMember(link, "rel")), "related") &&
            EqualsIgnoringCase(MediaType(StringMember(link, "type")), "application/rdap+json")) {
            const std::string_view href = TrimBlank(StringMember(link, "href"));
            if (!href.empty()) {
                return std::string(href);
            }
        }
    }
    return {};
}

} // namespace whois
