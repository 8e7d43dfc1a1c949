#include "rdap/RdapVCard.h"
#include "rdap/RdapLines.h"

namespace whois {
namespace {

// The text of a value that is a string, or the non-empty strings of an array joined by
// `separator`.
std::string JoinedText(const Json& value, std::string_view separator)
{
    if (const auto* text = value.get_ptr<const Json::string_t*>()) {
        return *text;
    }
    std::string joined;
    if (const auto* parts = value.get_ptr<const Json::array_t*>()) {
        for (const Json& part : *parts) {
            const auto* text = part.get_ptr<const Json::string_t*>();
            if (text == nullptr || TrimBlank(*text).empty()) {
                continue;
            }
            if (!joined.empty()) {
                joined += separator;
            }
            joined += *text;
        }
    }
    return joined;
}

bool TypeParameterHas(const Json& params, std::string_view type)
{
    const Json* types = MemberOf(params, "type");
    if (types == nullptr) {
        return false;
    }
    if (const auto* text = types->get_ptr<const Json::string_t*>()) {
        return EqualsIgnoringCase(*text, type);
    }
    if (const auto* list = types->get_ptr<const Json::array_t*>()) {
        for (const Json& each : *list) {
            const auto* text = each.get_ptr<const Json::string_t*>();
            if (text != nullptr && EqualsIgnoringCase(*text, type)) {
                return true;
            }
        }
    }
    return false;
}

std::string PhoneNumber(std::string_view uri)
{
    if (uri.size() >= 4 && EqualsIgnoringCase(uri.substr(0, 4), "tel:")) {
        uri.remove_prefix(4);
    }
    std::string number(uri);
    if (const auto ext = number.find(";ext="); ext != std::string::npos) {
        number.replace(ext, 5, " ext. ");
    }
    return number;
}

void ReadAddress(const Json& params, const Json& value, RdapVCard& card)
{
    card.addressLabel = StringMember(params, "label");
    if (value.is_string()) {
        if (card.addressLabel.empty()) {
            card.addressLabel = value.get_ref<const Json::string_t&>();
        }
        return;
    }
    const auto* parts = value.get_ptr<const Json::array_t*>();
    if (parts == nullptr) {
        return;
    }
    const auto part = [&](std::size_t index) {
        return index < parts->size() ? JoinedText((*parts)[index], ", ") : std::string();
    };
    for (std::size_t index = 0; index < 3 && index < parts->size(); ++index) {
        const Json& streetPart = (*parts)[index];
        if (const auto* lines = streetPart.get_ptr<const Json::array_t*>()) {
            for (const Json& line : *lines) {
                if (const auto* text = line.get_ptr<const Json::string_t*>()) {
                    card.street.push_back(*text);
                }
            }
        } else if (const auto* text = streetPart.get_ptr<const Json::string_t*>()) {
            card.street.push_back(*text);
        }
    }
    card.city = part(3);
    card.region = part(4);
    card.postalCode = part(5);
    card.country = part(6);
    if (TrimBlank(card.country).empty()) {
        card.country = StringMember(params, "cc");
    }
}

} // namespace

RdapVCard ReadVCard(const Json& entity)
{
    RdapVCard card;
    const auto* vcard = ArrayMember(entity, "vcardArray");
    if (vcard == nullptr || vcard->size() < 2) {
        return card;
    }
    const auto* properties = (*vcard)[1].get_ptr<const Json::array_t*>();
    if (properties == nullptr) {
        return card;
    }
    bool haveAddress = false;
    for (const Json& property : *properties) {
        const auto* fields = property.get_ptr<const Json::array_t*>();
        if (fields == nullptr || fields->size() < 4) {
            continue;
        }
        const auto* name = (*fields)[0].get_ptr<const Json::string_t*>();
        if (name == nullptr) {
            continue;
        }
        const Json& params = (*fields)[1];
        const Json& value = (*fields)[3];
        if (EqualsIgnoringCase(*name, "fn") && card.name.empty()) {
            card.name = JoinedText(value, " ");
        } else if (EqualsIgnoringCase(*name, "org") && card.organization.empty()) {
            card.organization = JoinedText(value, ", ");
        } else if (EqualsIgnoringCase(*name, "kind") && card.kind.empty()) {
            card.kind = JoinedText(value, " ");
        } else if (EqualsIgnoringCase(*name, "adr") && !haveAddress) {
            haveAddress = true;
            ReadAddress(params, value, card);
        } else if (EqualsIgnoringCase(*name, "email")) {
            if (const auto* text = value.get_ptr<const Json::string_t*>()) {
                card.emails.push_back(*text);
            }
        } else if (EqualsIgnoringCase(*name, "tel")) {
            if (const auto* text = value.get_ptr<const Json::string_t*>()) {
                auto& numbers = TypeParameterHas(params, "fax") ? card.faxes : card.phones;
                numbers.push_back(PhoneNumber(*text));
            }
        }
    }
    return card;
}

} // namespace whois
