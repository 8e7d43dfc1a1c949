#pragma once

#include <string>
#include <string_view>

namespace whois {

// The registrar link of an answer: the href of the first top-level `links` entry whose rel is
// "related" and whose type is "application/rdap+json" (a web page is never one), as sent, so a
// relative href stays relative. Empty when there is none or the answer is no JSON object.
std::string RdapRelatedLink(std::string_view json);

} // namespace whois
