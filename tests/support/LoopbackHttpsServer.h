#pragma once

#include "support/TestCertificateAuthority.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include <openssl/types.h>

namespace whois::test {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// What the server answers to one request. Content-Length is added from the body, except for
// an endless reply, which has no length and ends with the connection.
struct HttpsReply {
    int status = 200;
    HeaderList headers;
    std::string body;
    std::chrono::milliseconds delay{0}; // before the status line goes out
    bool endless = false;               // after `body`, sends filler until the client goes
    bool cutShort = false;              // announces the whole body, sends half of it and closes
};

// A reply with `body` and, when `contentType` is not empty, that Content-Type.
HttpsReply Respond(int status, std::string body = {},
                   std::string contentType = "application/rdap+json");
// A redirect to `location`: a path on the same server or any URL.
HttpsReply RedirectTo(std::string location, int status = 302);
// HTTP 429 with the Retry-After value given as is.
HttpsReply TooManyRequests(std::string retryAfter);

// One request as the server read it.
struct HttpsRequestRecord {
    std::string method;
    std::string target; // path and query, as sent
    HeaderList headers;
    std::size_t connection = 0; // the number of the connection it came on, counting from 0

    // The first value of header `name` (any case); empty when it is missing.
    std::string Header(std::string_view name) const;
};

// An HTTPS/1.1 server on 127.0.0.1 for tests: it listens on an ephemeral port with the given
// certificate, serves each connection (keep-alive included) on a thread of its own with the
// replies scripted per target, and records every request. Unscripted targets get a 404 with
// an empty body. It stops when destroyed and by itself once `lifetime` has passed, so no test
// can hang on it.
class LoopbackHttpsServer {
  public:
    using Clock = std::chrono::steady_clock;

    explicit LoopbackHttpsServer(const ServerCertificate& certificate,
                                 std::chrono::seconds lifetime = std::chrono::seconds{30});
    ~LoopbackHttpsServer();
    LoopbackHttpsServer(const LoopbackHttpsServer&) = delete;
    LoopbackHttpsServer& operator=(const LoopbackHttpsServer&) = delete;

    // False when the certificate could not be loaded or the port not bound.
    bool Listening() const { return listener_ >= 0; }
    std::uint16_t Port() const { return port_; }
    // "https://<host>:<port><target>", e.g. Url("/domain/example.com").
    std::string Url(std::string_view target, std::string_view host = "localhost") const;

    // Answers requests for `target` (path and query, exactly as sent) with `replies` in turn,
    // the last one for every later request. Replaces any earlier script for it.
    void Serve(std::string target, std::vector<HttpsReply> replies);
    void Serve(std::string target, HttpsReply reply)
    {
        Serve(std::move(target), std::vector<HttpsReply>{std::move(reply)});
    }
    // What unscripted targets get instead of the 404.
    void ServeOthers(HttpsReply reply);

    std::vector<HttpsRequestRecord> Requests() const;
    std::size_t RequestCount() const;
    std::size_t ConnectionCount() const;
    // Connections the server still holds: accepted and not yet closed by either side.
    std::size_t OpenConnectionCount() const;
    // Blocks until `count` requests have come or `timeout` passes; true when they came.
    bool WaitForRequests(std::size_t count,
                         std::chrono::milliseconds timeout = std::chrono::seconds{10}) const;
    // Blocks until no connection is open or `timeout` passes; true when none is.
    bool WaitForNoOpenConnection(std::chrono::milliseconds timeout = std::chrono::seconds{
                                     10}) const;

  private:
    void AcceptLoop();
    void ServeConnection(int fd, std::size_t index);
    HttpsReply NextReply(const std::string& target);
    // Waits until `fd` has `events` or the server stops; false when it stopped or timed out.
    bool WaitFor(int fd, short events, Clock::time_point until) const;
    // True once the server is being destroyed or its lifetime is over.
    bool Stopping() const;
    // Moves the connection on after an OpenSSL call returned `result`; false when it failed.
    bool AwaitSsl(SSL* ssl, int fd, int result) const;
    bool ReadSome(SSL* ssl, int fd, std::string& into) const;
    bool WriteAll(SSL* ssl, int fd, std::string_view bytes) const;

    Clock::time_point end_;
    SSL_CTX* context_ = nullptr;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    int stopPipe_[2] = {-1, -1};

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::map<std::string, std::vector<HttpsReply>> scripts_;
    std::map<std::string, std::size_t> served_;
    HttpsReply others_;
    std::vector<HttpsRequestRecord> requests_;
    std::size_t connections_ = 0;
    std::size_t open_ = 0;
    std::vector<std::thread> workers_;
    std::thread acceptor_;
};

} // namespace whois::test
