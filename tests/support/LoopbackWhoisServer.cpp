#include "support/LoopbackWhoisServer.h"

#include "support/WaitUnlessStopped.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace whois::test {

namespace {

constexpr std::size_t kStreamChunk = 16 * 1024;

} // namespace

ConnectionScript Answer(std::string bytes)
{
    return ConnectionScript{true, {Segment{std::move(bytes)}}, Ending::Close};
}

ConnectionScript Silent()
{
    return ConnectionScript{false, {}, Ending::KeepOpen};
}

LoopbackWhoisServer::LoopbackWhoisServer(std::vector<ConnectionScript> scripts, std::uint16_t port,
                                         std::chrono::seconds lifetime, const char* bindAddress)
    : scripts_(std::move(scripts)), end_(Clock::now() + lifetime)
{
    if (scripts_.empty()) {
        scripts_.push_back(Silent());
    }
    if (::pipe2(stopPipe_, O_CLOEXEC) != 0) {
        return;
    }
    // IPv6 when the address has a colon ("::1"), IPv4 otherwise.
    sockaddr_storage address{};
    socklen_t length = 0;
    auto& address4 = reinterpret_cast<sockaddr_in&>(address);
    auto& address6 = reinterpret_cast<sockaddr_in6&>(address);
    if (std::strchr(bindAddress, ':') != nullptr) {
        address6.sin6_family = AF_INET6;
        address6.sin6_port = htons(port);
        length = sizeof address6;
        if (::inet_pton(AF_INET6, bindAddress, &address6.sin6_addr) != 1) {
            return;
        }
    } else {
        address4.sin_family = AF_INET;
        address4.sin_port = htons(port);
        length = sizeof address4;
        if (::inet_pton(AF_INET, bindAddress, &address4.sin_addr) != 1) {
            return;
        }
    }
    const int fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
        ::listen(fd, 64) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return;
    }
    listener_ = fd;
    port_ = ntohs(address.ss_family == AF_INET6 ? address6.sin6_port : address4.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackWhoisServer::~LoopbackWhoisServer()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    released_.notify_all();
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
}

std::size_t LoopbackWhoisServer::ConnectionCount() const
{
    const std::lock_guard lock(mutex_);
    return records_.size();
}

ConnectionRecord LoopbackWhoisServer::Connection(std::size_t index) const
{
    const std::lock_guard lock(mutex_);
    return index < records_.size() ? records_[index] : ConnectionRecord{};
}

bool LoopbackWhoisServer::WaitForConnection(
    std::size_t index, const std::function<bool(const ConnectionRecord&)>& holds,
    std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout,
                             [&] { return index < records_.size() && holds(records_[index]); });
}

void LoopbackWhoisServer::Release()
{
    {
        const std::lock_guard lock(mutex_);
        ++releases_;
    }
    released_.notify_all();
}

void LoopbackWhoisServer::Update(std::size_t index,
                                 const std::function<void(ConnectionRecord&)>& change)
{
    {
        const std::lock_guard lock(mutex_);
        change(records_[index]);
    }
    changed_.notify_all();
}

bool LoopbackWhoisServer::WaitFor(int fd, short events, Clock::time_point until) const
{
    return WaitUnlessStopped(fd, events, stopPipe_[0], std::min(until, end_));
}

void LoopbackWhoisServer::AcceptLoop()
{
    while (WaitFor(listener_, POLLIN, end_)) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            continue;
        }
        {
            const std::lock_guard lock(mutex_);
            const std::size_t index = records_.size();
            records_.push_back(ConnectionRecord{});
            records_.back().acceptedAt = Clock::now();
            workers_.emplace_back([this, fd, index] { Serve(fd, index); });
        }
        changed_.notify_all();
    }
}

bool LoopbackWhoisServer::ReadSome(int fd, std::size_t index)
{
    char buffer[4096];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return true;
    }
    Update(index, [&](ConnectionRecord& record) {
        if (got <= 0) {
            record.clientClosed = true;
            return;
        }
        record.received.append(buffer, static_cast<std::size_t>(got));
        if (!record.requestLineSeen && std::find(buffer, buffer + got, '\n') != buffer + got) {
            record.requestLineSeen = true;
            record.requestLineAt = Clock::now();
        }
    });
    return got > 0;
}

void LoopbackWhoisServer::Serve(int fd, std::size_t index)
{
    const ConnectionScript& script = scripts_[std::min(index, scripts_.size() - 1)];
    const auto sendAll = [&](const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t sent = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (sent > 0) {
                done += static_cast<std::size_t>(sent);
                Update(index, [&](ConnectionRecord& record) {
                    record.bytesSent += static_cast<std::size_t>(sent);
                    record.lastByteSentAt = Clock::now();
                });
            } else if (sent < 0 && errno != EAGAIN && errno != EINTR) {
                // The client has gone: its RST (or FIN, then RST) makes the send fail.
                Update(index, [](ConnectionRecord& record) { record.clientClosed = true; });
                return false;
            } else if (!WaitFor(fd, POLLOUT, end_)) {
                return false;
            }
        }
        return true;
    };
    const auto readUntilClientCloses = [&] {
        while (WaitFor(fd, POLLIN, end_) && ReadSome(fd, index)) {
        }
    };

    bool alive = true;
    while (alive && script.awaitRequestLine && !Connection(index).requestLineSeen) {
        alive = WaitFor(fd, POLLIN, end_) && ReadSome(fd, index);
    }
    for (const Segment& segment : script.segments) {
        if (!alive) {
            break;
        }
        if (segment.pauseBefore.count() > 0) {
            // Only the stop pipe is watched, so this returns when the pause is over or on stop.
            WaitFor(-1, 0, Clock::now() + segment.pauseBefore);
        }
        if (segment.awaitRelease) {
            std::unique_lock lock(mutex_);
            released_.wait_until(lock, end_, [this] { return stopping_ || releases_ > 0; });
            if (stopping_ || releases_ == 0) {
                break;
            }
            --releases_;
        }
        {
            const std::lock_guard lock(mutex_);
            if (stopping_) {
                break;
            }
        }
        alive = sendAll(segment.bytes);
    }

    switch (script.ending) {
    case Ending::Close:
        ::shutdown(fd, SHUT_WR);
        Update(index, [](ConnectionRecord& record) { record.answerDone = true; });
        readUntilClientCloses();
        break;
    case Ending::Reset: {
        const linger abort{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        ::close(fd);
        Update(index, [](ConnectionRecord& record) { record.answerDone = true; });
        return;
    }
    case Ending::KeepOpen:
        Update(index, [](ConnectionRecord& record) { record.answerDone = true; });
        readUntilClientCloses();
        break;
    case Ending::StreamForever: {
        const std::string chunk(kStreamChunk, 'x');
        while (alive && sendAll(chunk)) {
        }
        break;
    }
    }
    ::close(fd);
}

} // namespace whois::test
