#include "rdap/RdapObjectText.h"
#include "rdap/RdapVCard.h"

#include <set>
#include <utility>
#include <vector>

namespace whois {
namespace {

// Entities and the entities inside them, parents first, down to kMaxEntityDepth levels.
void CollectEntities(const Json& object, int depth, std::vector<const Json*>& found)
{
    const auto* entities = ArrayMember(object, "entities");
    if (entities == nullptr || depth >= kMaxEntityDepth) {
        return;
    }
    for (const Json& entity : *entities) {
        if (entity.is_object()) {
            found.push_back(&entity);
            CollectEntities(entity, depth + 1, found);
        }
    }
}

// The registrant that is an organisation, else the first registrant.
const Json* Registrant(const std::vector<const Json*>& entities)
{
    const Json* first = nullptr;
    for (const Json* entity : entities) {
        if (!HasRole(*entity, "registrant")) {
            continue;
        }
        if (EqualsIgnoringCase(ReadVCard(*entity).kind, "org")) {
            return entity;
        }
        if (first == nullptr) {
            first = entity;
        }
    }
    return first;
}

std::string NameOf(const RdapVCard& card)
{
    return TrimBlank(card.name).empty() ? card.organization : card.name;
}

// Each value once, in the order sent.
void FieldEach(std::string_view key, const std::vector<std::string>& values, RdapLines& lines)
{
    std::set<std::string_view> seen;
    for (const std::string& value : values) {
        if (seen.insert(TrimBlank(value)).second) {
            lines.Field(key, value);
        }
    }
}

void WriteStatusAndDates(const Json& object, RdapLines& lines)
{
    if (const auto* statuses = ArrayMember(object, "status")) {
        for (const Json& status : *statuses) {
            if (const auto* text = status.get_ptr<const Json::string_t*>()) {
                lines.Field("Status", *text);
            }
        }
    }
    lines.Field("RegDate", EventDate(object, "registration"));
    const std::string_view changed = EventDate(object, "last changed");
    lines.Field("Updated", changed.empty() ? EventDate(object, "last update") : changed);
}

void WriteOrganizationLine(const Json* registrant, RdapLines& lines)
{
    if (registrant == nullptr) {
        return;
    }
    const std::string name(TrimBlank(NameOf(ReadVCard(*registrant))));
    const std::string_view handle = TrimBlank(StringMember(*registrant, "handle"));
    if (name.empty() || handle.empty()) {
        lines.Field("Organization", name.empty() ? handle : std::string_view(name));
    } else {
        lines.Field("Organization", name + " (" + std::string(handle) + ")");
    }
}

void WriteAddress(const RdapVCard& card, RdapLines& lines)
{
    for (const std::string& street : card.street) {
        lines.Field("Address", street);
    }
    lines.MultiLineField("Address", card.addressLabel);
    lines.Field("City", card.city);
    lines.Field("StateProv", card.region);
    lines.Field("PostalCode", card.postalCode);
    lines.Field("Country", card.country);
}

// A block on the organisation: its name, handle, address and ways to reach it.
void WriteOrganizationBlock(const Json* registrant, RdapLines& lines)
{
    if (registrant == nullptr) {
        return;
    }
    const RdapVCard card = ReadVCard(*registrant);
    lines.Blank();
    lines.Field("OrgName", NameOf(card));
    lines.Field("OrgId", StringMember(*registrant, "handle"));
    WriteAddress(card, lines);
    FieldEach("Phone", card.phones, lines);
    FieldEach("Fax", card.faxes, lines);
    FieldEach("Email", card.emails, lines);
}

// One block per contact with role abuse, technical, administrative or noc, each contact
// (known by its handle) once per role however often the answer nests it.
void WriteContactBlocks(const std::vector<const Json*>& entities, RdapLines& lines)
{
    static constexpr std::pair<std::string_view, std::string_view> kRoles[] = {
        {"abuse", "OrgAbuse"},
        {"technical", "OrgTech"},
        {"administrative", "OrgAdmin"},
        {"noc", "OrgNOC"},
    };
    for (const auto& [role, prefix] : kRoles) {
        std::set<std::string_view> seen;
        for (const Json* entity : entities) {
            if (!HasRole(*entity, role)) {
                continue;
            }
            const std::string_view handle = TrimBlank(StringMember(*entity, "handle"));
            if (!handle.empty() && !seen.insert(handle).second) {
                continue;
            }
            const RdapVCard card = ReadVCard(*entity);
            const std::string key(prefix);
            lines.Blank();
            lines.Field(key + "Handle", handle);
            lines.Field(key + "Name", NameOf(card));
            FieldEach(key + "Phone", card.phones, lines);
            FieldEach(key + "Email", card.emails, lines);
        }
    }
}

// What follows the object's own block in every registry text.
void WriteTail(const Json& object, const std::vector<const Json*>& entities, const Json* registrant,
               RdapLines& lines)
{
    WriteOrganizationBlock(registrant, lines);
    WriteContactBlocks(entities, lines);
    WriteNotices(object, "remarks", lines);
    WriteNotices(object, "notices", lines);
}

std::string Cidrs(const Json& network)
{
    std::string joined;
    if (const auto* cidrs = ArrayMember(network, "cidr0_cidrs")) {
        for (const Json& cidr : *cidrs) {
            std::string_view prefix = TrimBlank(StringMember(cidr, "v4prefix"));
            if (prefix.empty()) {
                prefix = TrimBlank(StringMember(cidr, "v6prefix"));
            }
            const Json* length = MemberOf(cidr, "length");
            if (prefix.empty()) {
                continue;
            }
            if (!joined.empty()) {
                joined += ", ";
            }
            joined += prefix;
            if (length != nullptr && length->is_number_integer()) {
                joined += '/';
                joined += ScalarText(*length);
            }
        }
    }
    return joined;
}

std::string Range(std::string_view start, std::string_view end)
{
    start = TrimBlank(start);
    end = TrimBlank(end);
    if (start.empty() || end.empty() || start == end) {
        return std::string(start.empty() ? end : start);
    }
    return std::string(start) + " - " + std::string(end);
}

std::string MemberText(const Json& object, std::string_view key)
{
    const Json* member = MemberOf(object, key);
    return member == nullptr ? std::string() : ScalarText(*member);
}

} // namespace

void WriteIpNetworkText(const Json& network, RdapLines& lines)
{
    std::vector<const Json*> entities;
    CollectEntities(network, 0, entities);
    const Json* registrant = Registrant(entities);
    lines.Field("NetRange",
                Range(StringMember(network, "startAddress"), StringMember(network, "endAddress")));
    lines.Field("CIDR", Cidrs(network));
    lines.Field("NetName", StringMember(network, "name"));
    lines.Field("NetHandle", StringMember(network, "handle"));
    lines.Field("Parent", StringMember(network, "parentHandle"));
    lines.Field("NetType", StringMember(network, "type"));
    lines.Field("Country", StringMember(network, "country"));
    WriteOrganizationLine(registrant, lines);
    WriteStatusAndDates(network, lines);
    WriteTail(network, entities, registrant, lines);
}

void WriteAutnumText(const Json& autnum, RdapLines& lines)
{
    std::vector<const Json*> entities;
    CollectEntities(autnum, 0, entities);
    const Json* registrant = Registrant(entities);
    lines.Field("ASNumber",
                Range(MemberText(autnum, "startAutnum"), MemberText(autnum, "endAutnum")));
    lines.Field("ASName", StringMember(autnum, "name"));
    lines.Field("ASHandle", StringMember(autnum, "handle"));
    lines.Field("ASType", StringMember(autnum, "type"));
    lines.Field("Country", StringMember(autnum, "country"));
    WriteOrganizationLine(registrant, lines);
    WriteStatusAndDates(autnum, lines);
    WriteTail(autnum, entities, registrant, lines);
}

void WriteOtherText(const Json& object, RdapLines& lines)
{
    std::vector<const Json*> entities;
    CollectEntities(object, 0, entities);
    lines.Field("ObjectClass", StringMember(object, "objectClassName"));
    lines.Field("Handle", StringMember(object, "handle"));
    const RdapVCard card = ReadVCard(object);
    std::string_view name = TrimBlank(StringMember(object, "ldhName"));
    if (name.empty()) {
        name = TrimBlank(StringMember(object, "unicodeName"));
    }
    lines.Field("Name", name.empty() ? NameOf(card) : std::string(name));
    if (const Json* addresses = MemberOf(object, "ipAddresses")) {
        for (const std::string_view version : {"v4", "v6"}) {
            if (const auto* list = ArrayMember(*addresses, version)) {
                for (const Json& address : *list) {
                    if (const auto* text = address.get_ptr<const Json::string_t*>()) {
                        lines.Field("IPAddress", *text);
                    }
                }
            }
        }
    }
    WriteAddress(card, lines);
    FieldEach("Phone", card.phones, lines);
    FieldEach("Fax", card.faxes, lines);
    FieldEach("Email", card.emails, lines);
    WriteStatusAndDates(object, lines);
    lines.Field("ErrorCode", MemberText(object, "errorCode"));
    lines.Field("Title", StringMember(object, "title"));
    if (const auto* description = ArrayMember(object, "description")) {
        for (const Json& line : *description) {
            if (const auto* text = line.get_ptr<const Json::string_t*>()) {
                lines.MultiLineField("Description", *text);
            }
        }
    }
    WriteContactBlocks(entities, lines);
    WriteNotices(object, "remarks", lines);
    WriteNotices(object, "notices", lines);
}

} // namespace whois
