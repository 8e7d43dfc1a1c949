#include "rdap/RdapObjectText.h"
#include "rdap/RdapVCard.h"

namespace whois {
namespace {

const Json* FirstEntityWithRole(const Json& object, std::string_view role)
{
    if (const auto* entities = ArrayMember(object, "entities")) {
        for (const Json& entity : *entities) {
            if (HasRole(entity, role)) {
                return &entity;
            }
        }
    }
    return nullptr;
}

std::string IanaRegistrarId(const Json& registrar)
{
    if (const auto* ids = ArrayMember(registrar, "publicIds")) {
        for (const Json& id : *ids) {
            if (EqualsIgnoringCase(StringMember(id, "type"), "IANA Registrar ID")) {
                if (const Json* identifier = MemberOf(id, "identifier")) {
                    return ScalarText(*identifier);
                }
            }
        }
    }
    return {};
}

void WriteRegistrar(const Json& domain, RdapLines& lines)
{
    const Json* registrar = FirstEntityWithRole(domain, "registrar");
    if (registrar == nullptr) {
        return;
    }
    const RdapVCard card = ReadVCard(*registrar);
    lines.Field("Registrar", TrimBlank(card.name).empty() ? card.organization : card.name);
    lines.Field("Registrar IANA ID", IanaRegistrarId(*registrar));
    if (const Json* abuse = FirstEntityWithRole(*registrar, "abuse")) {
        const RdapVCard contact = ReadVCard(*abuse);
        if (!contact.emails.empty()) {
            lines.Field("Registrar Abuse Contact Email", contact.emails.front());
        }
        if (!contact.phones.empty()) {
            lines.Field("Registrar Abuse Contact Phone", contact.phones.front());
        }
    }
}

void WriteContact(const RdapVCard& card, const std::string& prefix, RdapLines& lines)
{
    lines.Field(prefix + " Name", card.name);
    lines.Field(prefix + " Organization", card.organization);
    for (const std::string& street : card.street) {
        lines.Field(prefix + " Street", street);
    }
    lines.MultiLineField(prefix + " Address", card.addressLabel);
    lines.Field(prefix + " City", card.city);
    lines.Field(prefix + " State/Province", card.region);
    lines.Field(prefix + " Postal Code", card.postalCode);
    lines.Field(prefix + " Country", card.country);
    for (const std::string& phone : card.phones) {
        lines.Field(prefix + " Phone", phone);
    }
    for (const std::string& fax : card.faxes) {
        lines.Field(prefix + " Fax", fax);
    }
    for (const std::string& email : card.emails) {
        lines.Field(prefix + " Email", email);
    }
}

void WriteContacts(const Json& domain, RdapLines& lines)
{
    const auto* entities = ArrayMember(domain, "entities");
    if (entities == nullptr) {
        return;
    }
    static constexpr std::pair<std::string_view, std::string_view> kRoles[] = {
        {"registrant", "Registrant"},
        {"administrative", "Admin"},
        {"technical", "Tech"},
        {"billing", "Billing"},
    };
    for (const auto& [role, prefix] : kRoles) {
        for (const Json& entity : *entities) {
            if (HasRole(entity, role)) {
                WriteContact(ReadVCard(entity), std::string(prefix), lines);
            }
        }
    }
}

void WriteNameServers(const Json& domain, RdapLines& lines)
{
    if (const auto* nameservers = ArrayMember(domain, "nameservers")) {
        for (const Json& nameserver : *nameservers) {
            const std::string_view name = StringMember(nameserver, "ldhName");
            lines.Field("Name Server",
                        TrimBlank(name).empty() ? StringMember(nameserver, "unicodeName") : name);
        }
    }
}

void WriteDnssec(const Json& domain, RdapLines& lines)
{
    const Json* secureDns = MemberOf(domain, "secureDNS");
    const Json* signedDelegation =
        secureDns == nullptr ? nullptr : MemberOf(*secureDns, "delegationSigned");
    if (signedDelegation != nullptr && signedDelegation->is_boolean()) {
        lines.Field("DNSSEC", signedDelegation->get<bool>() ? "signedDelegation" : "unsigned");
    }
}

} // namespace

void WriteDomainText(const Json& domain, RdapLines& lines)
{
    const std::string_view ldhName = TrimBlank(StringMember(domain, "ldhName"));
    const std::string_view unicodeName = TrimBlank(StringMember(domain, "unicodeName"));
    if (ldhName.empty()) {
        lines.Field("Domain Name", unicodeName);
    } else if (unicodeName.empty() || EqualsIgnoringCase(unicodeName, ldhName)) {
        lines.Field("Domain Name", ldhName);
    } else {
        lines.Field("Domain Name", std::string(ldhName) + " (" + std::string(unicodeName) + ")");
    }
    lines.Field("Registry Domain ID", StringMember(domain, "handle"));
    lines.Field("Registrar WHOIS Server", StringMember(domain, "port43"));
    const std::string_view changed = EventDate(domain, "last changed");
    lines.Field("Updated Date", changed.empty() ? EventDate(domain, "last update") : changed);
    lines.Field("Creation Date", EventDate(domain, "registration"));
    lines.Field("Registry Expiry Date", EventDate(domain, "expiration"));
    WriteRegistrar(domain, lines);
    if (const auto* statuses = ArrayMember(domain, "status")) {
        for (const Json& status : *statuses) {
            if (const auto* text = status.get_ptr<const Json::string_t*>()) {
                lines.Field("Domain Status", *text);
            }
        }
    }
    WriteContacts(domain, lines);
    WriteNameServers(domain, lines);
    WriteDnssec(domain, lines);
    const std::string_view databaseUpdate =
        TrimBlank(EventDate(domain, "last update of RDAP database"));
    if (!databaseUpdate.empty()) {
        lines.Line(">>> Last update of RDAP database: " + std::string(databaseUpdate) + " <<<");
    }
    WriteNotices(domain, "notices", lines);
    WriteNotices(domain, "remarks", lines);
}

} // namespace whois
