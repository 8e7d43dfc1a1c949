#include "lookup/LookupSession.h"

namespace whois {

LookupSession::LookupSession(EventLoop& loop, Resolver& resolver, LookupState& state,
                             LookupBoxes& boxes, LookupObserver* observer, Options options)
    : client_(loop, resolver, options.connectTimeout), http_(loop),
      rdapData_(MakeRdapData(http_, options)), rdapRoute_(http_, loop, options.rdap),
      routes_(options.routeCacheFile),
      lookup_(state, client_, boxes, loop, std::move(options.limits), &routes_, observer,
              &rdapRoute_, rdapData_.get())
{
}

std::unique_ptr<RdapData> LookupSession::MakeRdapData(HttpClient& http, Options& options)
{
    if (options.rdapDirectory) {
        return std::make_unique<RdapData>(std::move(*options.rdapDirectory));
    }
    if (auto cache = RdapBootstrapCache::Default()) {
        return std::make_unique<RdapData>(std::move(*cache), http, options.rdap,
                                          options.rdapSource);
    }
    return std::make_unique<RdapData>([] { return RdapDirectory::BuiltIn(); });
}

LookupSession::Options LookupSession::ProgramOptions(const std::string& program)
{
    Options options;
    options.routeCacheFile = DefaultRouteCacheFile();
    options.rdap.userAgent = program + "/" + WHOIS_VERSION;
    return options;
}

std::string LookupSession::DefaultRouteCacheFile()
{
    return RouteCache::DefaultFile("whois-servers.tsv");
}

} // namespace whois
