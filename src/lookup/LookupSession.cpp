#include "lookup/LookupSession.h"

namespace whois {

LookupSession::LookupSession(EventLoop& loop, Resolver& resolver, LookupState& state,
                             LookupBoxes& boxes, LookupObserver* observer, Options options)
    : client_(loop, resolver, options.connectTimeout), routes_(options.routeCacheFile),
      lookup_(state, client_, boxes, loop, std::move(options.limits), &routes_, observer)
{
}

std::string LookupSession::DefaultRouteCacheFile()
{
    return RouteCache::DefaultFile("whois-servers.tsv");
}

} // namespace whois
