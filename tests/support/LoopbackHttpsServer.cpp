#include "support/LoopbackHttpsServer.h"

#include "support/WaitUnlessStopped.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <mutex>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace whois::test {

namespace {

constexpr std::size_t kFillerChunk = 16 * 1024;
constexpr std::size_t kMaxHead = 64 * 1024;

bool EqualNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x | 0x20) == (y | 0x20);
           });
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view Reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

// A request head: the request line, then header lines, up to the blank line.
HttpsRequestRecord ParseHead(std::string_view head)
{
    HttpsRequestRecord record;
    const auto lineEnd = head.find("\r\n");
    const std::string_view requestLine = head.substr(0, lineEnd);
    const auto firstSpace = requestLine.find(' ');
    const auto secondSpace = requestLine.find(' ', firstSpace + 1);
    record.method = std::string(requestLine.substr(0, firstSpace));
    if (firstSpace != std::string_view::npos) {
        record.target =
            std::string(requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1));
    }
    std::size_t at = lineEnd == std::string_view::npos ? head.size() : lineEnd + 2;
    while (at < head.size()) {
        auto end = head.find("\r\n", at);
        if (end == std::string_view::npos) {
            end = head.size();
        }
        const std::string_view line = head.substr(at, end - at);
        const auto colon = line.find(':');
        if (colon != std::string_view::npos) {
            record.headers.emplace_back(std::string(Trim(line.substr(0, colon))),
                                        std::string(Trim(line.substr(colon + 1))));
        }
        at = end + 2;
    }
    return record;
}

void IgnoreBrokenPipes()
{
    // A client that goes mid-reply would otherwise end the test process with SIGPIPE.
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

} // namespace

HttpsReply Respond(int status, std::string body, std::string contentType)
{
    HttpsReply reply;
    reply.status = status;
    reply.body = std::move(body);
    if (!contentType.empty()) {
        reply.headers.emplace_back("Content-Type", std::move(contentType));
    }
    return reply;
}

HttpsReply RedirectTo(std::string location, int status)
{
    HttpsReply reply;
    reply.status = status;
    reply.headers.emplace_back("Location", std::move(location));
    return reply;
}

HttpsReply TooManyRequests(std::string retryAfter)
{
    HttpsReply reply = Respond(429, "slow down\n", "text/plain");
    reply.headers.emplace_back("Retry-After", std::move(retryAfter));
    return reply;
}

std::string HttpsRequestRecord::Header(std::string_view name) const
{
    for (const auto& [key, value] : headers) {
        if (EqualNoCase(key, name)) {
            return value;
        }
    }
    return {};
}

LoopbackHttpsServer::LoopbackHttpsServer(const ServerCertificate& certificate,
                                         std::chrono::seconds lifetime)
    : end_(Clock::now() + lifetime), others_(Respond(404, {}, {}))
{
    IgnoreBrokenPipes();
    context_ = SSL_CTX_new(TLS_server_method());
    if (context_ == nullptr ||
        SSL_CTX_use_certificate_chain_file(context_, certificate.certFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context_, certificate.keyFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
        ::pipe2(stopPipe_, O_CLOEXEC) != 0) {
        return;
    }
    SSL_CTX_set_mode(context_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 64) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return;
    }
    listener_ = fd;
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackHttpsServer::~LoopbackHttpsServer()
{
    if (stopPipe_[1] >= 0) {
        const char byte = 0;
        [[maybe_unused]] const auto written = ::write(stopPipe_[1], &byte, 1);
    }
    if (acceptor_.joinable()) {
        acceptor_.join();
    }
    for (std::thread& worker : workers_) {
        worker.join();
    }
    for (const int fd : {listener_, stopPipe_[0], stopPipe_[1]}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    SSL_CTX_free(context_);
}

std::string LoopbackHttpsServer::Url(std::string_view target, std::string_view host) const
{
    return "https://" + std::string(host) + ":" + std::to_string(port_) + std::string(target);
}

void LoopbackHttpsServer::Serve(std::string target, std::vector<HttpsReply> replies)
{
    const std::lock_guard lock(mutex_);
    served_[target] = 0;
    scripts_[std::move(target)] = std::move(replies);
}

void LoopbackHttpsServer::ServeOthers(HttpsReply reply)
{
    const std::lock_guard lock(mutex_);
    others_ = std::move(reply);
}

std::vector<HttpsRequestRecord> LoopbackHttpsServer::Requests() const
{
    const std::lock_guard lock(mutex_);
    return requests_;
}

std::size_t LoopbackHttpsServer::RequestCount() const
{
    const std::lock_guard lock(mutex_);
    return requests_.size();
}

std::size_t LoopbackHttpsServer::ConnectionCount() const
{
    const std::lock_guard lock(mutex_);
    return connections_;
}

std::size_t LoopbackHttpsServer::OpenConnectionCount() const
{
    const std::lock_guard lock(mutex_);
    return open_;
}

bool LoopbackHttpsServer::WaitForRequests(std::size_t count,
                                          std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

bool LoopbackHttpsServer::WaitForNoOpenConnection(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return open_ == 0; });
}

HttpsReply LoopbackHttpsServer::NextReply(const std::string& target)
{
    const std::lock_guard lock(mutex_);
    auto found = scripts_.find(target);
    if (found == scripts_.end()) {
        found = scripts_.find(target.substr(0, target.find('?')));
    }
    if (found == scripts_.end() || found->second.empty()) {
        return others_;
    }
    std::size_t& served = served_[found->first];
    const HttpsReply& reply = found->second[std::min(served, found->second.size() - 1)];
    ++served;
    return reply;
}

bool LoopbackHttpsServer::WaitFor(int fd, short events, Clock::time_point until) const
{
    return WaitUnlessStopped(fd, events, stopPipe_[0], std::min(until, end_));
}

bool LoopbackHttpsServer::Stopping() const
{
    pollfd stop{stopPipe_[0], POLLIN, 0};
    return Clock::now() >= end_ || ::poll(&stop, 1, 0) != 0;
}

bool LoopbackHttpsServer::AwaitSsl(SSL* ssl, int fd, int result) const
{
    switch (SSL_get_error(ssl, result)) {
    case SSL_ERROR_WANT_READ:
        return WaitFor(fd, POLLIN, end_);
    case SSL_ERROR_WANT_WRITE:
        return WaitFor(fd, POLLOUT, end_);
    default:
        return false;
    }
}

bool LoopbackHttpsServer::ReadSome(SSL* ssl, int fd, std::string& into) const
{
    char buffer[4096];
    for (;;) {
        const int got = SSL_read(ssl, buffer, sizeof buffer);
        if (got > 0) {
            into.append(buffer, static_cast<std::size_t>(got));
            return true;
        }
        if (!AwaitSsl(ssl, fd, got)) {
            return false;
        }
    }
}

bool LoopbackHttpsServer::WriteAll(SSL* ssl, int fd, std::string_view bytes) const
{
    while (!bytes.empty()) {
        const int sent = SSL_write(ssl, bytes.data(), static_cast<int>(bytes.size()));
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        } else if (!AwaitSsl(ssl, fd, sent)) {
            return false;
        }
    }
    return true;
}

void LoopbackHttpsServer::AcceptLoop()
{
    while (WaitFor(listener_, POLLIN, end_)) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            continue;
        }
        // Replies go out in more than one record; Nagle would hold the later ones back.
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        const std::lock_guard lock(mutex_);
        const std::size_t index = connections_++;
        ++open_;
        workers_.emplace_back([this, fd, index] { ServeConnection(fd, index); });
    }
}

void LoopbackHttpsServer::ServeConnection(int fd, std::size_t index)
{
    SSL* ssl = SSL_new(context_);
    bool alive = ssl != nullptr && SSL_set_fd(ssl, fd) == 1;
    while (alive) {
        const int result = SSL_accept(ssl);
        if (result == 1) {
            break;
        }
        alive = AwaitSsl(ssl, fd, result);
    }

    std::string received;
    bool cleanEnd = false;
    while (alive) {
        std::size_t headEnd = std::string::npos;
        while (alive && (headEnd = received.find("\r\n\r\n")) == std::string::npos) {
            alive = received.size() < kMaxHead && ReadSome(ssl, fd, received);
        }
        if (!alive) {
            break;
        }
        HttpsRequestRecord record = ParseHead(std::string_view(received).substr(0, headEnd));
        record.connection = index;
        received.erase(0, headEnd + 4);
        // A request body, rare for these tests, is read and dropped.
        const std::string announced = record.Header("Content-Length");
        std::size_t bodyLength = 0;
        std::from_chars(announced.data(), announced.data() + announced.size(), bodyLength);
        while (alive && received.size() < bodyLength) {
            alive = ReadSome(ssl, fd, received);
        }
        if (!alive) {
            break;
        }
        received.erase(0, bodyLength);
        const bool clientCloses = EqualNoCase(record.Header("Connection"), "close");
        const HttpsReply reply = NextReply(record.target);
        {
            const std::lock_guard lock(mutex_);
            requests_.push_back(std::move(record));
        }
        changed_.notify_all();

        // A client that goes during the pause ends the connection at once.
        if (reply.delay.count() > 0 &&
            (WaitFor(fd, POLLRDHUP, Clock::now() + reply.delay) || Stopping())) {
            break;
        }
        std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " +
                           std::string(Reason(reply.status)) + "\r\n";
        for (const auto& [name, value] : reply.headers) {
            head += name + ": " + value + "\r\n";
        }
        head += reply.endless ? "Connection: close\r\n"
                              : "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
        head += "\r\n";
        const std::string_view body =
            reply.cutShort ? std::string_view(reply.body).substr(0, reply.body.size() / 2)
                           : std::string_view(reply.body);
        alive = WriteAll(ssl, fd, head + std::string(body));
        if (reply.endless) {
            const std::string filler(kFillerChunk, 'x');
            while (alive) {
                alive = WriteAll(ssl, fd, filler);
            }
        }
        if (reply.cutShort || clientCloses) {
            cleanEnd = !reply.cutShort;
            break;
        }
    }
    if (ssl != nullptr) {
        if (cleanEnd) {
            SSL_shutdown(ssl);
        }
        SSL_free(ssl);
    }
    ::close(fd);
    ERR_clear_error();
    {
        const std::lock_guard lock(mutex_);
        --open_;
    }
    changed_.notify_all();
}

} // namespace whois::test
