#pragma once

#include "http/HttpClient.h"
#include "lookup/RdapRoute.h"
#include "net/EventLoop.h"
#include "rdap/RdapBootstrapCache.h"
#include "rdap/RdapDirectory.h"
#include "rdap/RdapRegistry.h"

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace whois {

// The RDAP bootstrap data lookups use: the files refreshed into the cache when there are
// any, else the ones the program carries. Refreshed in the background when a lookup needs
// RDAP and a file is due (a day old, or an hour after a failed fetch); a file that does not
// parse or is older than the one in use is kept out.
class RdapData {
  public:
    // Data that is never refreshed.
    explicit RdapData(RdapDirectory directory);
    // Data that is never refreshed, read by `load` when first needed.
    explicit RdapData(std::function<RdapDirectory()> load);
    // Data from `cache`, refreshed from `sourceBase` + "<dns|ipv4|ipv6|asn>.json".
    RdapData(RdapBootstrapCache cache, HttpClient& http, RdapOptions options,
             std::string sourceBase = "https://data.iana.org/rdap/",
             std::function<std::chrono::system_clock::time_point()> now =
                 std::chrono::system_clock::now);
    ~RdapData();
    RdapData(const RdapData&) = delete;
    RdapData& operator=(const RdapData&) = delete;

    // The data, read from the cache or the program when first asked for: parsing it costs
    // more than a whole port-43 lookup, and most lookups never need it.
    const RdapDirectory& Directory() const;

    // Starts fetching `registry`'s file when it is due and not already being fetched. `then`,
    // when given, runs once that fetch has ended (at once from the loop is not promised: when
    // no fetch is due it runs before Refresh returns). Never blocks.
    void Refresh(RdapRegistry registry, std::function<void()> then = {});

    bool Refreshing(RdapRegistry registry) const { return fetches_.count(registry) != 0; }

  private:
    void Fetched(RdapRegistry registry, const HttpResponse& response);

    std::function<RdapDirectory()> load_;
    mutable std::optional<RdapDirectory> directory_;
    std::optional<RdapBootstrapCache> cache_;
    HttpClient* http_ = nullptr;
    RdapOptions options_;
    std::string sourceBase_;
    std::function<std::chrono::system_clock::time_point()> now_;
    std::map<RdapRegistry, HttpClient::RequestId> fetches_;
    std::map<RdapRegistry, std::vector<std::function<void()>>> waiting_;
};

} // namespace whois
