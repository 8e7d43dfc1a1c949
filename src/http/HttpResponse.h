#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace whois {

// Why a request brought no complete response. An HTTP error status is not a failure.
enum class HttpFailure {
    None,
    InvalidUrl,
    NotHttps, // the URL or a redirect leads to another scheme
    NameNotFound,
    Refused,         // the TCP connect failed
    ConnectTimedOut, // no TLS session within the connect time-out
    TimedOut,        // connected, but the whole exchange took too long
    TlsCertificate,  // the chain does not lead to a trusted authority
    TlsHostname,     // a valid certificate, issued for another name
    TlsOther,
    TooLarge, // the body would pass the cap
    TooManyRedirects,
    Reset, // the connection broke before the response was whole
    Other,
};

// A short English name of `failure`, such as "TlsHostname"; never empty.
std::string_view HttpFailureName(HttpFailure failure);

struct HttpResponse {
    HttpFailure failure = HttpFailure::None;
    std::string detail; // the transport's own words on the failure
    long status = 0;    // the last HTTP status seen, 0 when none came
    std::string body;   // at most the request's cap
    std::string contentType;
    std::string effectiveUrl; // after redirects
    std::string host;         // of effectiveUrl
    std::chrono::milliseconds elapsed{};
    std::optional<std::chrono::seconds> retryAfter;
};

} // namespace whois
