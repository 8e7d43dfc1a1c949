#include "net/SystemResolver.h"

#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include <netdb.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace whois {

// The stack of a worker thread: getaddrinfo and the name service modules need a few tens of
// kilobytes at most.
constexpr std::size_t kWorkerStackBytes = 512 * 1024;

// How long an idle worker waits for another name before its thread ends.
constexpr std::chrono::milliseconds kWorkerIdle{30'000};

// What the resolver and its worker threads share. A worker outlives the resolver when it is
// still blocked in a lookup, so it holds this, never the resolver; once `closed` is set
// (under the lock) it only drops its result.
struct SystemResolver::Shared {
    std::mutex mutex;
    std::condition_variable work;
    bool closed = false;
    std::uint64_t dismissals = 0; // each ends the workers idle at the time
    int eventFd = -1;
    LookUpFunction lookUp;
    std::deque<std::pair<RequestId, std::string>> jobs; // names no worker has taken yet
    std::size_t idle = 0;                               // workers waiting for a name
    std::vector<std::pair<RequestId, ResolveResult>> finished;

    // Queues a result and wakes the loop; nothing happens once the resolver has gone.
    void Finish(RequestId id, ResolveResult result)
    {
        const std::lock_guard lock(mutex);
        FinishLocked(id, std::move(result));
    }

    void FinishLocked(RequestId id, ResolveResult result)
    {
        if (closed) {
            return;
        }
        finished.emplace_back(id, std::move(result));
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(eventFd, &one, sizeof one);
    }

    // One worker: looks up the names queued, one at a time, until none has come for a while
    // or the resolver has gone.
    // `counted` when the worker was counted as idle before its thread started.
    static void Work(const std::shared_ptr<Shared>& shared, bool counted);
};

// What a new worker thread is handed.
struct SystemResolver::WorkerStart {
    std::shared_ptr<Shared> shared;
    bool counted;
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

void SystemResolver::Shared::Work(const std::shared_ptr<Shared>& shared, bool counted)
{
    std::unique_lock lock(shared->mutex);
    while (true) {
        if (!std::exchange(counted, false)) {
            ++shared->idle;
        }
        const std::uint64_t dismissals = shared->dismissals;
        const bool woken = shared->work.wait_for(lock, kWorkerIdle, [&shared, dismissals] {
            return shared->closed || !shared->jobs.empty() || shared->dismissals != dismissals;
        });
        --shared->idle;
        if (!woken || shared->closed || shared->jobs.empty()) {
            return;
        }
        auto [id, host] = std::move(shared->jobs.front());
        shared->jobs.pop_front();
        lock.unlock();
        ResolveResult result = shared->lookUp(host);
        lock.lock();
        shared->FinishLocked(id, std::move(result));
    }
}

SystemResolver::SystemResolver(EventLoop& loop) : SystemResolver(loop, &SystemResolver::LookUp) {}

SystemResolver::SystemResolver(EventLoop& loop, LookUpFunction lookUp)
    : loop_(loop), shared_(std::make_shared<Shared>())
{
    shared_->lookUp = std::move(lookUp);
    shared_->eventFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (shared_->eventFd >= 0) {
        watch_ = loop_.WatchReadable(shared_->eventFd, [this] { Deliver(); });
    }
}

bool SystemResolver::StartWorker(bool counted)
{
    // A lookup needs little stack; a small one is quicker to set up and to give back when
    // the thread ends, which a short-lived program waits for as it exits.
    pthread_attr_t attributes;
    if (::pthread_attr_init(&attributes) != 0) {
        return false;
    }
    ::pthread_attr_setstacksize(&attributes, kWorkerStackBytes);
    ::pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    auto* start = new WorkerStart{shared_, counted};
    pthread_t thread{};
    const int created = ::pthread_create(
        &thread, &attributes,
        [](void* argument) -> void* {
            const std::unique_ptr<WorkerStart> worker(static_cast<WorkerStart*>(argument));
            Shared::Work(worker->shared, worker->counted);
            return nullptr;
        },
        start);
    ::pthread_attr_destroy(&attributes);
    if (created != 0) {
        delete start;
        return false;
    }
    return true;
}

void SystemResolver::DismissIdleWorkers()
{
    {
        const std::lock_guard lock(shared_->mutex);
        ++shared_->dismissals;
    }
    shared_->work.notify_all();
}

void SystemResolver::PrepareWorker()
{
    const std::unique_lock lock(shared_->mutex);
    if (shared_->idle == 0 && shared_->eventFd >= 0) {
        // Counted as idle at once, so a name asked for before the thread runs finds it.
        ++shared_->idle;
        if (StartWorker(true)) {
            return;
        }
        --shared_->idle;
    }
}

SystemResolver::~SystemResolver()
{
    *alive_ = false;
    loop_.Unwatch(watch_);
    const std::lock_guard lock(shared_->mutex);
    shared_->closed = true;
    shared_->jobs.clear();
    shared_->work.notify_all();
    if (shared_->eventFd >= 0) {
        ::close(shared_->eventFd);
    }
}

// The remembered addresses of `host`, if they are recent enough.
std::optional<ResolveResult> SystemResolver::RememberedFor(const std::string& host)
{
    const auto found = remembered_.find(host);
    if (found == remembered_.end()) {
        return std::nullopt;
    }
    if (std::chrono::steady_clock::now() >= found->second.until) {
        remembered_.erase(found);
        return std::nullopt;
    }
    return found->second.result;
}

Resolver::RequestId SystemResolver::Resolve(const std::string& host, Callback done)
{
    const RequestId id = nextId_++;
    if (std::optional<ResolveResult> literal = NumericHost(host)) {
        done(std::move(*literal));
        return id;
    }
    if (std::optional<ResolveResult> known = RememberedFor(host)) {
        done(std::move(*known));
        return id;
    }
    // A name already being looked up (asked for ahead) is not looked up twice.
    if (const auto running = inFlight_.find(host); running != inFlight_.end()) {
        pending_.emplace(id, Pending{running->second, std::move(done)});
        return id;
    }
    pending_.emplace(id, Pending{id, std::move(done)});
    if (shared_->eventFd < 0) {
        shared_->Finish(id, Failure(ConnectFailure::ResolverFailed));
        return id;
    }
    if (host.empty() || host.find('\0') != std::string::npos) {
        shared_->Finish(id, Failure(ConnectFailure::NameNotFound));
        return id;
    }
    StartLookUp(id, host);
    return id;
}

void SystemResolver::Prefetch(const std::string& host)
{
    if (host.empty() || host.find('\0') != std::string::npos || shared_->eventFd < 0 ||
        inFlight_.contains(host) || NumericHost(host) || RememberedFor(host)) {
        return;
    }
    StartLookUp(nextId_++, host);
}

void SystemResolver::StartLookUp(RequestId job, const std::string& host)
{
    inFlight_[host] = job;
    jobHosts_[job] = host;
    // A name waits for no other: without an idle worker for it, a new one starts, so a name
    // server that never answers holds up only the names already given to it.
    const std::lock_guard lock(shared_->mutex);
    shared_->jobs.emplace_back(job, host);
    if (shared_->idle >= shared_->jobs.size()) {
        shared_->work.notify_one();
    } else if (!StartWorker(false)) {
        shared_->jobs.pop_back();
        shared_->FinishLocked(job, Failure(ConnectFailure::ResolverFailed));
    }
}

void SystemResolver::Cancel(RequestId id)
{
    // The lookup itself goes on: its answer is remembered for the next request.
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
    for (auto& [job, result] : finished) {
        if (const auto host = jobHosts_.find(job); host != jobHosts_.end()) {
            if (const auto running = inFlight_.find(host->second);
                running != inFlight_.end() && running->second == job) {
                inFlight_.erase(running);
            }
            if (!result.addresses.empty()) {
                remembered_[host->second] =
                    Remembered{result, std::chrono::steady_clock::now() + kRememberFor};
            }
            jobHosts_.erase(host);
        }
        // Every request waiting on this lookup, in the order they were made. An earlier
        // callback may cancel a later request or destroy the resolver.
        std::vector<RequestId> waiting;
        for (const auto& [id, pending] : pending_) {
            if (pending.job == job) {
                waiting.push_back(id);
            }
        }
        for (const RequestId id : waiting) {
            const auto found = pending_.find(id);
            if (found == pending_.end()) {
                continue;
            }
            Callback done = std::move(found->second.done);
            pending_.erase(found);
            done(result);
            if (!*alive) {
                return;
            }
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
