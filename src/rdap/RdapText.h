#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace whois {

enum class RdapObjectKind { Domain, IpNetwork, Autnum, Other };

// What the answer's objectClassName says it is; Other for anything else, including text that
// is not a JSON object. Never fails.
RdapObjectKind RdapObjectKindOf(std::string_view json);

// The answer as whois-style lines (LF line ends, UTF-8), the first naming `url`, the URL asked.
// An answer that is not JSON, or not an object, gives nullopt. Never throws.
std::optional<std::string> RdapToText(std::string_view json, std::string_view url);

// An answer read once for both of what a lookup needs of it: the text RdapToText gives and
// the registrar link RdapRelatedLink gives. Nothing when the answer is not a JSON object.
struct RdapAnswerText {
    std::string text;
    std::string relatedLink;
};
std::optional<RdapAnswerText> ReadRdapAnswer(std::string_view json, std::string_view url);

} // namespace whois
