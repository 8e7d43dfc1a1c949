#include "net/SystemResolver.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include <netdb.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace whois {

// What the resolver and its worker threads share. A worker outlives the resolver when it is
// still blocked in the lookup, so it holds this, never the resolver; once `closed` is set
// (under the lock) it only drops its result.
struct SystemResolver::Shared {
    std::mutex mutex;
    bool closed = false;
    int eventFd = -1;
    std::vector<std::pair<RequestId, ResolveResult>> finished;

    // Queues a result and wakes the loop; nothing happens once the resolver has gone.
    void Finish(RequestId id, ResolveResult result)
    {
        const std::lock_guard lock(mutex);
        if (closed) {
            return;
        }
        finished.emplace_back(id, std::move(result));
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(eventFd, &one, sizeof one);
    }
};

namespace {

// How long a name that resolved is answered from memory. Short, as the system's resolver
// gives no time to live.
constexpr std::chrono::seconds kRememberFor{60};

ResolveResult Failure(ConnectFailure failure)
{
    ResolveResult result;
    result.failure = failure;
    return result;
}

// The host as an IPv4 or IPv6 literal in the forms getaddrinfo takes without a name server.
std::optional<ResolveResult> NumericHost(const std::string& host)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) {
        return std::nullopt;
    }
    ResolveResult result;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        ResolvedAddress address;
        std::memcpy(&address.address, entry->ai_addr, entry->ai_addrlen);
        address.length = entry->ai_addrlen;
        result.addresses.push_back(address);
    }
    ::freeaddrinfo(found);
    return result;
}

} // namespace

SystemResolver::SystemResolver(EventLoop& loop) : SystemResolver(loop, &SystemResolver::LookUp) {}

SystemResolver::SystemResolver(EventLoop& loop, LookUpFunction lookUp)
    : loop_(loop), lookUp_(std::move(lookUp)), shared_(std::make_shared<Shared>())
{
    shared_->eventFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (shared_->eventFd >= 0) {
        watch_ = loop_.WatchReadable(shared_->eventFd, [this] { Deliver(); });
    }
}

SystemResolver::~SystemResolver()
{
    *alive_ = false;
    loop_.Unwatch(watch_);
    const std::lock_guard lock(shared_->mutex);
    shared_->closed = true;
    if (shared_->eventFd >= 0) {
        ::close(shared_->eventFd);
    }
}

Resolver::RequestId SystemResolver::Resolve(const std::string& host, Callback done)
{
    const RequestId id = nextId_++;
    if (std::optional<ResolveResult> literal = NumericHost(host)) {
        done(std::move(*literal));
        return id;
    }
    if (const auto found = remembered_.find(host); found != remembered_.end()) {
        if (std::chrono::steady_clock::now() < found->second.until) {
            done(found->second.result);
            return id;
        }
        remembered_.erase(found);
    }
    pending_.emplace(id, Pending{host, std::move(done)});
    if (shared_->eventFd < 0) {
        shared_->Finish(id, Failure(ConnectFailure::ResolverFailed));
        return id;
    }
    if (host.empty() || host.find('\0') != std::string::npos) {
        shared_->Finish(id, Failure(ConnectFailure::NameNotFound));
        return id;
    }
    try {
        std::thread([shared = shared_, lookUp = lookUp_, host, id] {
            shared->Finish(id, lookUp(host));
        }).detach();
    } catch (const std::system_error&) {
        shared_->Finish(id, Failure(ConnectFailure::ResolverFailed));
    }
    return id;
}

void SystemResolver::Cancel(RequestId id)
{
    pending_.erase(id);
}

void SystemResolver::Deliver()
{
    std::vector<std::pair<RequestId, ResolveResult>> finished;
    {
        const std::lock_guard lock(shared_->mutex);
        std::uint64_t count = 0;
        [[maybe_unused]] const auto got = ::read(shared_->eventFd, &count, sizeof count);
        finished.swap(shared_->finished);
    }
    const std::shared_ptr<bool> alive = alive_;
    for (auto& [id, result] : finished) {
        // An earlier callback may have cancelled this request or destroyed the resolver.
        const auto found = pending_.find(id);
        if (found == pending_.end()) {
            continue;
        }
        Callback done = std::move(found->second.done);
        if (!result.addresses.empty()) {
            remembered_[found->second.host] =
                Remembered{result, std::chrono::steady_clock::now() + kRememberFor};
        }
        pending_.erase(found);
        done(std::move(result));
        if (!*alive) {
            return;
        }
    }
}

ResolveResult SystemResolver::LookUp(const std::string& host)
{
    if (host.empty() || host.find('\0') != std::string::npos) {
        return Failure(ConnectFailure::NameNotFound);
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int status = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    switch (status) {
    case 0:
        break;
    case EAI_NONAME:
        return Failure(ConnectFailure::NameNotFound);
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
        return Failure(ConnectFailure::NoAddress);
    default:
        return Failure(ConnectFailure::ResolverFailed);
    }
    ResolveResult result;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        if ((entry->ai_family != AF_INET && entry->ai_family != AF_INET6) ||
            entry->ai_addrlen > sizeof(sockaddr_storage)) {
            continue;
        }
        ResolvedAddress address;
        std::memcpy(&address.address, entry->ai_addr, entry->ai_addrlen);
        address.length = entry->ai_addrlen;
        result.addresses.push_back(address);
    }
    ::freeaddrinfo(found);
    if (result.addresses.empty()) {
        result.failure = ConnectFailure::NoAddress;
    }
    return result;
}

} // namespace whois
