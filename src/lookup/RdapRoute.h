#pragma once

#include "http/HttpClient.h"
#include "naming/WhoisQuery.h"
#include "net/EventLoop.h"
#include "rdap/RdapDirectory.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace whois {

struct RdapOptions {
    std::string caFile; // empty: the system's trust store
    std::string userAgent = "whois-desktop";
    std::chrono::milliseconds connectTimeout{10'000};
    std::chrono::milliseconds totalTimeout{20'000};
    // An answer of 429 is asked again once, after its Retry-After but at most this long.
    std::chrono::milliseconds longestRetryWait{10'000};
    std::size_t maxAnswerBytes = std::size_t{4} << 20;
};

// What an RDAP attempt came to.
struct RdapResult {
    bool answered = false; // a record, or the registry's word that there is none, to show
    std::string host;      // the server whose answer is shown, or the last one that failed
    std::string url;       // the URL of that answer
    std::string json;      // that answer as received
    // UTF-8. Answered: the record as whois-style text. Not answered: the lines that say which
    // server failed and why, in the window's words.
    std::string text;
    // Not answered: the same lines in English, for the command line.
    std::string english;
};

// Asks RDAP for the record of a domain, an IP address or an AS number: the registry's server
// that the bootstrap data names, then, in one hop, the registrar's server that the registry's
// answer links to. Over HTTPS only; nothing blocks the thread.
class RdapRoute {
  public:
    using Done = std::function<void(RdapResult)>;

    RdapRoute(HttpClient& http, EventLoop& loop, RdapOptions options);
    ~RdapRoute();
    RdapRoute(const RdapRoute&) = delete;
    RdapRoute& operator=(const RdapRoute&) = delete;

    // The base URLs of the service for `request`, as the directory gives them; empty when
    // there is none or the request is of no kind RDAP serves.
    static std::vector<std::string> ServersFor(const RdapDirectory& directory, QueryKind kind,
                                               const std::string& request);

    // Starts asking; `done` runs once, later, from the loop, unless Cancel comes first.
    // False, and no call, when the directory names no service for `request`.
    bool Start(const RdapDirectory& directory, QueryKind kind, const std::string& request,
               Done done);
    void Cancel();
    // The URL asked first by the latest Start.
    const std::string& Url() const { return registryUrl_; }
    bool InFlight() const { return httpRequest_.has_value() || retryTimer_.has_value(); }

  private:
    enum class Stage { Registry, Registrar };

    void Ask(const std::string& url, Stage stage);
    void OnResponse(HttpResponse response, Stage stage);
    void Finish(RdapResult result);
    RdapResult Failure(const HttpResponse& response, const std::string& url) const;

    HttpClient& http_;
    EventLoop& loop_;
    RdapOptions options_;
    Done done_;
    std::string name_; // what is asked for, for "No match" lines
    std::string registryUrl_;
    std::string registrarUrl_;
    bool retried_ = false;
    RdapResult registry_; // the registry's answer while the registrar's is awaited
    std::optional<HttpClient::RequestId> httpRequest_;
    std::optional<EventLoop::TimerId> retryTimer_;
};

// A GET of `url` within the options' bounds, accepting `accept`.
HttpRequest MakeHttpRequest(const RdapOptions& options, std::string url, const char* accept);

// An RDAP failure in the window's words (UTF-8), and in English.
std::string DescribeHttpFailure(HttpFailure failure);
std::string DescribeHttpFailureInEnglish(HttpFailure failure);

} // namespace whois
