#include "rdap/RdapText.h"
#include "rdap/RdapJson.h"
#include "rdap/RdapObjectText.h"

namespace whois {
namespace {

RdapObjectKind KindOf(const Json& object)
{
    const std::string_view objectClass = StringMember(object, "objectClassName");
    if (EqualsIgnoringCase(objectClass, "domain")) {
        return RdapObjectKind::Domain;
    }
    if (EqualsIgnoringCase(objectClass, "ip network")) {
        return RdapObjectKind::IpNetwork;
    }
    if (EqualsIgnoringCase(objectClass, "autnum")) {
        return RdapObjectKind::Autnum;
    }
    return RdapObjectKind::Other;
}

std::string TextOf(const Json& answer, std::string_view url)
{
    RdapLines lines;
    lines.Line("% RDAP " + std::string(TrimBlank(url)));
    switch (KindOf(answer)) {
    case RdapObjectKind::Domain:
        WriteDomainText(answer, lines);
        break;
    case RdapObjectKind::IpNetwork:
        WriteIpNetworkText(answer, lines);
        break;
    case RdapObjectKind::Autnum:
        WriteAutnumText(answer, lines);
        break;
    case RdapObjectKind::Other:
        WriteOtherText(answer, lines);
        break;
    }
    return lines.Take();
}

} // namespace

RdapObjectKind RdapObjectKindOf(std::string_view json)
{
    const auto answer = ParseRdapObject(json);
    return answer ? KindOf(*answer) : RdapObjectKind::Other;
}

std::optional<std::string> RdapToText(std::string_view json, std::string_view url)
{
    const auto answer = ParseRdapObject(json);
    if (!answer) {
        return std::nullopt;
    }
    return TextOf(*answer, url);
}

std::optional<RdapAnswerText> ReadRdapAnswer(std::string_view json, std::string_view url)
{
    const auto answer = ParseRdapObject(json);
    if (!answer) {
        return std::nullopt;
    }
    return RdapAnswerText{TextOf(*answer, url), RelatedLinkOf(*answer)};
}

} // namespace whois
