#pragma once

#include "rdap/RdapJson.h"
#include "rdap/RdapLines.h"

namespace whois {

// The lines for one kind of RDAP object, after the "% RDAP <url>" line.
void WriteDomainText(const Json& domain, RdapLines& lines);
void WriteIpNetworkText(const Json& network, RdapLines& lines);
void WriteAutnumText(const Json& autnum, RdapLines& lines);
void WriteOtherText(const Json& object, RdapLines& lines);

// The registrar link of a parsed answer, as RdapRelatedLink gives it.
std::string RelatedLinkOf(const Json& object);

// Each notice or remark of the object's `member` array: a blank line, its title, its
// description lines and the href of each of its links.
void WriteNotices(const Json& object, std::string_view member, RdapLines& lines);

} // namespace whois
