#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace whois {

// A domain (usually a TLD) whose registry runs an RDAP server that IANA's file does not name.
struct RdapOverride {
    std::string name;    // lower case, without a trailing dot
    std::string baseUrl; // ends in '/'
};

// The rows of a tab-separated table "tld<TAB>base_url[<TAB>source...]": an optional header
// row starting "tld<TAB>", blank lines and lines starting '#' skipped. Nothing when a row
// lacks a valid name or an http(s) base URL.
std::optional<std::vector<RdapOverride>> ParseRdapOverrides(std::string_view table);

} // namespace whois
