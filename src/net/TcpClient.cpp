#include "net/TcpClient.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace whois {

namespace {

constexpr int kLowestPort = 1;
constexpr int kHighestPort = 65535;
constexpr std::size_t kChunkBytes = 1024;

// A dotted IPv4 address in any form inet_aton takes ("192.0.2.1", "127.1", "0x7f.1"), but
// nothing after it: glibc would accept "1.2.3.4 anything" as 1.2.3.4.
std::optional<in_addr> DottedAddress(const std::string& host)
{
    const bool dottedCharacters = std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') ||
               c == 'x' || c == 'X' || c == '.';
    });
    in_addr address{};
    if (!dottedCharacters || ::inet_aton(host.c_str(), &address) == 0) {
        return std::nullopt;
    }
    return address;
}

// Waits for a non-blocking connect to finish; false when it failed or `timeout` passed.
bool FinishConnect(int fd, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd entry{fd, POLLOUT, 0};
        const int ready = ::poll(
            &entry, 1, static_cast<int>(std::max(left, std::chrono::milliseconds{0}).count()));
        if (ready > 0) {
            break;
        }
        if (ready == 0 || errno != EINTR) {
            return false;
        }
    }
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
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

bool TcpClient::Connect(const std::string& host, int port)
{
    port = std::max(port, kLowestPort);
    Disconnect();

    // Ports beyond 16 bits would otherwise wrap around to an unrelated port.
    if (port > kHighestPort || host.empty() || host.find('\0') != std::string::npos) {
        return false;
    }
    std::optional<in_addr> address = DottedAddress(host);
    if (!address) {
        address = resolver_.Resolve(host);
    }
    if (!address) {
        return false;
    }

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(static_cast<std::uint16_t>(port));
    peer.sin_addr = *address;
    const int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    const bool pending = result != 0 && (errno == EINPROGRESS || errno == EINTR);
    if ((result != 0 && !pending) || (pending && !FinishConnect(fd, connectTimeout_))) {
        ::close(fd);
        return false;
    }

    socket_ = fd;
    connected_ = true;
    const std::uint64_t generation = ++generation_;
    watch_ = loop_.WatchReadable(fd, [this, generation] { OnReadable(generation); });
    return true;
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
    StopWatching();
    if (socket_ >= 0) {
        ::close(socket_);
        socket_ = -1;
        ++generation_;
    }
    connected_ = false;
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
    int waiting = 0;
    if (::ioctl(socket_, FIONREAD, &waiting) != 0) {
        // Nothing can be read from this socket any more; watching it would only spin.
        StopWatching();
        return;
    }

    std::string received;
    std::size_t want = std::min(static_cast<std::size_t>(std::max(waiting, 1)), kMaxDrainBytes);
    bool ended = false;
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
        ended = got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
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
            handler();
        }
    }
}

} // namespace whois
