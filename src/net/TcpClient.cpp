#include "net/TcpClient.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace whois {

namespace {

constexpr int kLowestPort = 1;
constexpr int kHighestPort = 65535;
constexpr std::size_t kChunkBytes = 1024;
// How long an attempt runs alone before the next address is tried beside it.
constexpr std::chrono::milliseconds kAttemptDelay{250};

// The host as an address literal: IPv6, or IPv4 in any form inet_aton takes ("192.0.2.1",
// "127.1", "0x7f.1") but nothing after it, as glibc's inet_aton accepts "1.2.3.4 anything".
std::optional<ResolvedAddress> LiteralAddress(const std::string& host)
{
    ResolvedAddress resolved;
    in6_addr address6{};
    if (::inet_pton(AF_INET6, host.c_str(), &address6) == 1) {
        auto& peer = reinterpret_cast<sockaddr_in6&>(resolved.address);
        peer.sin6_family = AF_INET6;
        peer.sin6_addr = address6;
        resolved.length = sizeof peer;
        return resolved;
    }
    const bool dottedCharacters = std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') ||
               c == 'x' || c == 'X' || c == '.';
    });
    in_addr address4{};
    if (!dottedCharacters || ::inet_aton(host.c_str(), &address4) == 0) {
        return std::nullopt;
    }
    auto& peer = reinterpret_cast<sockaddr_in&>(resolved.address);
    peer.sin_family = AF_INET;
    peer.sin_addr = address4;
    resolved.length = sizeof peer;
    return resolved;
}

// The addresses in the order to try them: the preferred family first, then alternating.
std::vector<ResolvedAddress> InterleaveFamilies(const std::vector<ResolvedAddress>& addresses)
{
    std::vector<ResolvedAddress> first;
    std::vector<ResolvedAddress> second;
    for (const ResolvedAddress& address : addresses) {
        const bool sameFamily = address.address.ss_family == addresses.front().address.ss_family;
        (sameFamily ? first : second).push_back(address);
    }
    std::vector<ResolvedAddress> order;
    for (std::size_t i = 0; i < std::max(first.size(), second.size()); ++i) {
        if (i < first.size()) {
            order.push_back(first[i]);
        }
        if (i < second.size()) {
            order.push_back(second[i]);
        }
    }
    return order;
}

void SetPort(ResolvedAddress& address, int port)
{
    const auto network = htons(static_cast<std::uint16_t>(port));
    if (address.address.ss_family == AF_INET6) {
        reinterpret_cast<sockaddr_in6&>(address.address).sin6_port = network;
    } else {
        reinterpret_cast<sockaddr_in&>(address.address).sin_port = network;
    }
}

// Zero once a non-blocking connect has made its connection, else why it failed. A socket
// that reports no error but has no peer lost its connection in the meantime.
int ConnectionError(int fd)
{
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        return errno;
    }
    sockaddr_storage peer{};
    socklen_t peerLength = sizeof peer;
    if (error == 0 && ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) {
        return ECONNRESET;
    }
    return error;
}

} // namespace

TcpClient::TcpClient(EventLoop& loop, Resolver& resolver, std::chrono::milliseconds connectTimeout)
    : loop_(loop), resolver_(resolver), connectTimeout_(connectTimeout)
{
}

TcpClient::~TcpClient()
{
    *alive_ = false;
    Disconnect();
}

void TcpClient::Connect(const std::string& host, int port, std::string request)
{
    port = std::max(port, kLowestPort);
    Disconnect();
    request_ = std::move(request);

    connecting_ = true;
    port_ = port;
    sawRefused_ = sawUnreachable_ = sawReset_ = sawTimeout_ = false;
    insideConnect_ = true;
    deadline_ = loop_.StartTimer(connectTimeout_, [this] {
        deadline_.reset();
        Fail(ConnectFailure::TimedOut);
    });

    // Ports beyond 16 bits would otherwise wrap around to an unrelated port.
    if (port > kHighestPort || host.empty() || host.find('\0') != std::string::npos) {
        Fail(ConnectFailure::InvalidTarget);
    } else if (const std::optional<ResolvedAddress> literal = LiteralAddress(host)) {
        OnResolved(ResolveResult{{*literal}, ConnectFailure::NoAddress});
    } else {
        // The resolver may answer before Resolve returns; then there is nothing to cancel.
        awaitingLookup_ = true;
        const Resolver::RequestId id = resolver_.Resolve(host, [this](ResolveResult result) {
            awaitingLookup_ = false;
            lookup_.reset();
            OnResolved(std::move(result));
        });
        if (awaitingLookup_) {
            lookup_ = id;
        }
    }
    insideConnect_ = false;
}

void TcpClient::OnResolved(ResolveResult result)
{
    if (result.addresses.empty()) {
        Fail(result.failure);
        return;
    }
    untried_ = InterleaveFamilies(result.addresses);
    StartNextAttempt();
}

void TcpClient::StartNextAttempt()
{
    if (stagger_) {
        loop_.CancelTimer(*stagger_);
        stagger_.reset();
    }
    while (!untried_.empty()) {
        ResolvedAddress address = untried_.front();
        untried_.erase(untried_.begin());
        SetPort(address, port_);

        const int fd =
            ::socket(address.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            AttemptFailed(errno);
            continue;
        }
        const int result =
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address.address), address.length);
        // An interrupted connect goes on in the background, like one in progress.
        if (result != 0 && errno != EINPROGRESS && errno != EINTR) {
            AttemptFailed(errno);
            ::close(fd);
            continue;
        }
        const std::uint64_t serial = nextSerial_++;
        // A nearby peer often completes the handshake before connect returns: such an
        // attempt is decided at once, without a watch and a turn of the event loop.
        pollfd ready{fd, POLLOUT, 0};
        if (result == 0 || ::poll(&ready, 1, 0) == 1) {
            const int error = ConnectionError(fd);
            if (error == 0) {
                Win(fd, address);
                return;
            }
            ::close(fd);
            AttemptFailed(error);
            continue;
        }
        const EventLoop::WatchId watch = loop_.Watch(
            fd, EventLoop::kWritable, [this, serial](unsigned) { OnAttemptReady(serial); });
        attempts_.push_back(Attempt{serial, fd, watch, address});
        if (!untried_.empty()) {
            stagger_ = loop_.StartTimer(kAttemptDelay, [this] {
                stagger_.reset();
                StartNextAttempt();
            });
        }
        return;
    }
    if (attempts_.empty()) {
        // Every address has failed; which failure to name follows what the user can act on.
        Fail(sawRefused_       ? ConnectFailure::Refused
             : sawUnreachable_ ? ConnectFailure::Unreachable
             : sawReset_       ? ConnectFailure::Reset
             : sawTimeout_     ? ConnectFailure::TimedOut
                               : ConnectFailure::Unreachable);
    }
}

void TcpClient::OnAttemptReady(std::uint64_t serial)
{
    const auto found = std::find_if(attempts_.begin(), attempts_.end(),
                                    [serial](const Attempt& a) { return a.serial == serial; });
    if (found == attempts_.end()) {
        return;
    }
    const int error = ConnectionError(found->fd);
    const Attempt attempt = *found;
    attempts_.erase(found);
    loop_.Unwatch(attempt.watch);
    if (error == 0) {
        Win(attempt.fd, attempt.address);
        return;
    }
    ::close(attempt.fd);
    AttemptFailed(error);
    // A failed attempt lets the next address go at once, without its delay.
    if (!untried_.empty() || attempts_.empty()) {
        StartNextAttempt();
    }
}

void TcpClient::AttemptFailed(int error)
{
    switch (error) {
    case ECONNREFUSED:
        sawRefused_ = true;
        break;
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE:
        sawReset_ = true;
        break;
    case ETIMEDOUT:
        sawTimeout_ = true;
        break;
    default:
        sawUnreachable_ = true;
        break;
    }
}

void TcpClient::Win(int fd, const ResolvedAddress& address)
{
    // The request leaves first: everything else can wait until it is on its way.
    socket_ = fd;
    connected_ = true;
    if (!request_.empty()) {
        SendData(std::exchange(request_, std::string()));
        // A server on this machine that the request woke may have been queued behind this
        // thread, which may have much to do next (the window lays out the previous answer);
        // it runs first, so its answer is not held up by that work.
        ::sched_yield();
    }
    AbandonAttempts();
    connecting_ = false;
    peerAddress_ = NumericAddress(address);
    const std::uint64_t generation = ++generation_;
    watch_ = loop_.WatchReadable(socket_, [this, generation] { OnReadable(generation); });
    if (insideConnect_) {
        // Seen as connecting until the event is raised from the loop.
        connecting_ = true;
        deferred_ = loop_.StartTimer(std::chrono::milliseconds{0}, [this] {
            deferred_.reset();
            RaiseConnected();
        });
        return;
    }
    RaiseConnected();
}

void TcpClient::RaiseConnected()
{
    connecting_ = false;
    if (auto handler = Connected) {
        handler();
    }
}

void TcpClient::Fail(ConnectFailure failure)
{
    awaitingLookup_ = false;
    if (lookup_) {
        resolver_.Cancel(*lookup_);
        lookup_.reset();
    }
    AbandonAttempts();
    const auto raise = [this, failure] {
        connecting_ = false;
        if (auto handler = ConnectFailed) {
            handler(failure);
        }
    };
    if (insideConnect_) {
        deferred_ = loop_.StartTimer(std::chrono::milliseconds{0}, [this, raise] {
            deferred_.reset();
            raise();
        });
        return;
    }
    raise();
}

void TcpClient::AbandonAttempts()
{
    for (const Attempt& attempt : attempts_) {
        loop_.Unwatch(attempt.watch);
        ::close(attempt.fd);
    }
    attempts_.clear();
    untried_.clear();
    for (std::optional<EventLoop::TimerId>* timer : {&stagger_, &deadline_, &deferred_}) {
        if (*timer) {
            loop_.CancelTimer(**timer);
            timer->reset();
        }
    }
}

bool TcpClient::SendData(std::string_view data)
{
    if (socket_ < 0 || !connected_) {
        return false;
    }
    while (!data.empty()) {
        const ssize_t sent = ::send(socket_, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            data.remove_prefix(static_cast<std::size_t>(sent));
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else {
            return false;
        }
    }
    return true;
}

void TcpClient::Disconnect()
{
    awaitingLookup_ = false;
    if (lookup_) {
        resolver_.Cancel(*lookup_);
        lookup_.reset();
    }
    AbandonAttempts();
    connecting_ = false;
    StopWatching();
    if (socket_ >= 0) {
        ::close(socket_);
        socket_ = -1;
        ++generation_;
    }
    connected_ = false;
    peerAddress_.clear();
}

void TcpClient::Prepare(const std::string& host)
{
    if (!host.empty() && !LiteralAddress(host)) {
        resolver_.Prefetch(host);
    }
}

bool TcpClient::IsConnecting() const
{
    return connecting_;
}

bool TcpClient::IsConnected() const
{
    return connected_ && !connecting_;
}

std::string TcpClient::PeerAddress() const
{
    return peerAddress_;
}

void TcpClient::StopWatching()
{
    if (watch_) {
        loop_.Unwatch(*watch_);
        watch_.reset();
    }
}

void TcpClient::OnReadable(std::uint64_t generation)
{
    if (socket_ < 0 || generation != generation_) {
        return;
    }
    if (deferred_ && connected_) {
        // The answer came before the loop raised the connection's event: the event comes
        // first, in a dispatch of its own; the bytes stay readable for the next.
        loop_.CancelTimer(*deferred_);
        deferred_.reset();
        RaiseConnected();
        return;
    }
    int waiting = 0;
    if (::ioctl(socket_, FIONREAD, &waiting) != 0) {
        // Nothing can be read from this socket any more; watching it would only spin.
        StopWatching();
        return;
    }

    std::string received;
    std::size_t want = std::min(static_cast<std::size_t>(std::max(waiting, 1)), kMaxDrainBytes);
    std::optional<CloseKind> ended;
    while (received.size() < kMaxDrainBytes) {
        const std::size_t had = received.size();
        received.resize(had + want);
        const ssize_t got = ::recv(socket_, received.data() + had, want, 0);
        received.resize(had + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
        if (got > 0) {
            want = std::min(kChunkBytes, kMaxDrainBytes - received.size());
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got == 0) {
            ended = CloseKind::Closed;
        } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
            ended = CloseKind::Reset;
        }
        break;
    }
    if (ended) {
        // Level-triggered readiness stays on after a close or an error.
        StopWatching();
    }

    const std::shared_ptr<bool> alive = alive_;
    if (!received.empty()) {
        std::string outer = std::exchange(delivered_, std::move(received));
        if (auto handler = DataArrived) {
            handler();
        }
        if (!*alive) {
            return;
        }
        delivered_ = std::move(outer);
        if (generation != generation_) {
            // The handler dropped this connection; its close is no longer news.
            return;
        }
    }
    if (ended) {
        if (auto handler = ConnectionClosed) {
            handler(*ended);
        }
    }
}

} // namespace whois
