#include "lookup/FindReferralServer.h"

#include "encoding/RegexSearch.h"
#include "text/TextOperations.h"

namespace whois {

Text FindReferralServer(std::string_view answer)
{
    RegexSearch search;
    search.Search("Whois Server:(.+?)\\s", answer, false, false, true, true);
    // Each match replaces the name taken from the one before, so the last one decides.
    const std::int32_t count = search.MatchCount();
    return count > 0 ? TrimSpaces(search.SubMatchText(count, 1)) : Text();
}

} // namespace whois
