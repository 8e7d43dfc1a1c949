#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace whois {

using Json = nlohmann::json;

// How deep the renderers follow entities inside entities; answers nest two or three levels.
inline constexpr int kMaxEntityDepth = 8;

// The answer parsed without exceptions; nullopt unless it is a JSON object.
std::optional<Json> ParseRdapObject(std::string_view text);

// Typed access to a member of `object`, which may itself be of any type: nullptr (or an empty
// text) when `object` is no object, has no such member, or the member has another type.
const Json* MemberOf(const Json& object, std::string_view key);
std::string_view StringMember(const Json& object, std::string_view key);
const Json::array_t* ArrayMember(const Json& object, std::string_view key);

// A JSON string as it is, an unsigned or signed integer in decimal; empty otherwise.
std::string ScalarText(const Json& value);

// True when `a` and `b` are equal with ASCII letters compared without case.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// The entity's `roles` array holds `role` (without regard to case).
bool HasRole(const Json& entity, std::string_view role);

// The date of the first event whose eventAction is `action`; empty when there is none.
std::string_view EventDate(const Json& object, std::string_view action);

} // namespace whois
