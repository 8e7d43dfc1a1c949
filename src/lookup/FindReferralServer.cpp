#include "lookup/FindReferralServer.h"

#include "encoding/RegexSearch.h"
#include "text/TextOperations.h"

namespace whois {

namespace {

constexpr std::string_view kReferralPattern = "Whois Server:(.+?)\\s";

} // namespace

Text FindReferralServer(std::string_view answer)
{
    RegexSearch search;
    search.Search(kReferralPattern, answer, false, false, true, true);
    // Each match replaces the name taken from the one before, so the last one decides.
    const std::int32_t count = search.MatchCount();
    return count > 0 ? TrimSpaces(search.SubMatchText(count, 1)) : Text();
}

void PrepareReferralSearch()
{
    // Searching nothing compiles the pattern; compiled patterns are kept for later searches.
    RegexSearch search;
    search.Search(kReferralPattern, "", false, false, true, true);
}

} // namespace whois
