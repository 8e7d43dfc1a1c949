#include "rdap/RdapJson.h"

#include <algorithm>

namespace whois {

std::optional<Json> ParseRdapObject(std::string_view text)
{
    Json parsed = Json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (!parsed.is_object()) {
        return std::nullopt;
    }
    return parsed;
}

const Json* MemberOf(const Json& object, std::string_view key)
{
    if (!object.is_object()) {
        return nullptr;
    }
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

std::string_view StringMember(const Json& object, std::string_view key)
{
    const Json* member = MemberOf(object, key);
    if (member == nullptr) {
        return {};
    }
    const auto* text = member->get_ptr<const Json::string_t*>();
    return text == nullptr ? std::string_view() : std::string_view(*text);
}

const Json::array_t* ArrayMember(const Json& object, std::string_view key)
{
    const Json* member = MemberOf(object, key);
    return member == nullptr ? nullptr : member->get_ptr<const Json::array_t*>();
}

std::string ScalarText(const Json& value)
{
    if (const auto* text = value.get_ptr<const Json::string_t*>()) {
        return *text;
    }
    if (const auto* number = value.get_ptr<const Json::number_unsigned_t*>()) {
        return std::to_string(*number);
    }
    if (const auto* number = value.get_ptr<const Json::number_integer_t*>()) {
        return std::to_string(*number);
    }
    return {};
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    const auto lower = [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

bool HasRole(const Json& entity, std::string_view role)
{
    const auto* roles = ArrayMember(entity, "roles");
    if (roles == nullptr) {
        return false;
    }
    return std::any_of(roles->begin(), roles->end(), [&](const Json& each) {
        const auto* text = each.get_ptr<const Json::string_t*>();
        return text != nullptr && EqualsIgnoringCase(*text, role);
    });
}

std::string_view EventDate(const Json& object, std::string_view action)
{
    const auto* events = ArrayMember(object, "events");
    if (events == nullptr) {
        return {};
    }
    for (const Json& event : *events) {
        if (EqualsIgnoringCase(StringMember(event, "eventAction"), action)) {
            return StringMember(event, "eventDate");
        }
    }
    return {};
}

} // namespace whois
