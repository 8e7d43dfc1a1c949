#include "naming/WhoisServerForDomain.h"

#include "text/TextOperations.h"

namespace whois {

Text WhoisServerForDomain(std::string_view domain)
{
    const Position n = TextLength(domain);
    const Position dot = FindText(domain, ".");
    const Text label = RightText(domain, n - dot);
    return ConcatTexts({label, WhoisDirectorySuffix});
}

} // namespace whois
