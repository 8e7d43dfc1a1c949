#pragma once

#include "rdap/RdapJson.h"

#include <string>
#include <vector>

namespace whois {

// The parts of an entity's jCard a whois-style text shows. Empty members were not sent.
struct RdapVCard {
    std::string name;         // fn
    std::string organization; // org, its units joined by ", "
    std::string kind;
    std::vector<std::string> street; // post office box, extended address and street lines
    std::string city;
    std::string region;
    std::string postalCode;
    std::string country;      // the country name part, else the cc parameter
    std::string addressLabel; // the label parameter of adr, lines separated by LF
    std::vector<std::string> emails;
    std::vector<std::string> phones; // "tel:" taken off, ";ext=" written " ext. "
    std::vector<std::string> faxes;
};

// Reads the entity's `vcardArray` (["vcard", [[name, params, type, value], ...]]); properties
// of an unexpected shape are skipped, and only the first adr counts. Never fails.
RdapVCard ReadVCard(const Json& entity);

} // namespace whois
