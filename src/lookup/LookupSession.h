#pragma once

#include "http/HttpClient.h"
#include "lookup/Lookup.h"
#include "lookup/LookupBoxes.h"
#include "lookup/LookupObserver.h"
#include "lookup/LookupState.h"
#include "lookup/RdapData.h"
#include "lookup/RdapRoute.h"
#include "lookup/RouteCache.h"
#include "net/EventLoop.h"
#include "net/Resolver.h"
#include "net/TcpClient.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace whois {

// The core wired together for one front end: the whois client, the lookup over it and the
// memory of routes that worked. The front end supplies the event loop, the name resolver,
// its boxes and, if it wants progress, an observer; it binds its query command to RunQuery
// and its result box's content-changed event to StartFollowUp.
class LookupSession {
  public:
    struct Options {
        Lookup::Limits limits;
        std::chrono::milliseconds connectTimeout = TcpClient::kConnectTimeout;
        // Where routes found through IANA are remembered; empty: nowhere.
        std::string routeCacheFile;
        RdapOptions rdap;
        // The RDAP bootstrap data, fixed; when not given, the data in the user's cache
        // directory (or the program's own), refreshed from `rdapSource`.
        std::optional<RdapDirectory> rdapDirectory;
        std::string rdapSource = "https://data.iana.org/rdap/";
    };

    LookupSession(EventLoop& loop, Resolver& resolver, LookupState& state, LookupBoxes& boxes,
                  LookupObserver* observer, Options options);
    LookupSession(const LookupSession&) = delete;
    LookupSession& operator=(const LookupSession&) = delete;

    void RunQuery() { lookup_.RunQuery(); }
    void StartFollowUp() { lookup_.StartFollowUp(); }
    bool InFlight() const { return lookup_.InFlight(); }

    // The file the program keeps its routes in.
    static std::string DefaultRouteCacheFile();
    // What a program gets by default: routes remembered in the user's cache directory, RDAP
    // with the bootstrap data there, a User-Agent naming `program` and the version.
    static Options ProgramOptions(const std::string& program);

  private:
    static std::unique_ptr<RdapData> MakeRdapData(HttpClient& http, Options& options);

    TcpClient client_;
    HttpClient http_;
    std::unique_ptr<RdapData> rdapData_;
    RdapRoute rdapRoute_;
    RouteCache routes_;
    Lookup lookup_;
};

} // namespace whois
