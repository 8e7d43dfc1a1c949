#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace whois {

// One HTTPS GET. Redirects are followed to HTTPS targets only; the certificate is always
// verified against `caFile`, or the system's trust store when it is empty.
struct HttpRequest {
    std::string url;
    std::vector<std::string> headers; // whole lines, e.g. "Accept: application/rdap+json"
    std::string userAgent;
    std::chrono::milliseconds connectTimeout{10'000}; // name lookup, TCP and TLS handshake
    std::chrono::milliseconds totalTimeout{20'000};
    std::size_t maxBodyBytes = std::size_t{4} << 20;
    int maxRedirects = 5;
    std::string caFile;
};

} // namespace whois
