#pragma once

#include "net/EventLoop.h"
#include "net/Resolver.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace whois {

// Resolves through the system's resolver (getaddrinfo, IPv6 and IPv4). Names are looked up on
// worker threads, never more than one at a time on a thread, so a slow or dead name server
// never holds up the caller or another name; results are handed back on the event loop's
// thread. A worker waits a while for the next name before its thread ends. IP literals, and names
// that resolved less than a minute ago, are answered at once, before Resolve returns.
class SystemResolver : public Resolver {
  public:
    // The blocking lookup run on the worker thread.
    using LookUpFunction = std::function<ResolveResult(const std::string&)>;

    explicit SystemResolver(EventLoop& loop);
    // For tests: `lookUp` replaces getaddrinfo. It runs on worker threads, possibly after the
    // resolver is gone, so it must own whatever it uses.
    SystemResolver(EventLoop& loop, LookUpFunction lookUp);
    ~SystemResolver() override;
    SystemResolver(const SystemResolver&) = delete;
    SystemResolver& operator=(const SystemResolver&) = delete;

    RequestId Resolve(const std::string& host, Callback done) override;
    void Cancel(RequestId id) override;
    void Prefetch(const std::string& host) override;

    // Starts a worker now, unless one is idle, so that the first name does not wait for a
    // thread to start: for a program that is about to look a name up.
    void PrepareWorker();

    // Ends the workers waiting for a name now; later names start new ones. For a program
    // about to exit: it would otherwise wait for them to be stopped as it ends.
    void DismissIdleWorkers();

    // The blocking getaddrinfo lookup itself; never fails otherwise than by its result.
    static ResolveResult LookUp(const std::string& host);

  private:
    struct Shared;
    struct WorkerStart;

    void Deliver();
    std::optional<ResolveResult> RememberedFor(const std::string& host);
    // Hands `host` to a worker as lookup `job`.
    void StartLookUp(RequestId job, const std::string& host);
    // Starts a worker thread, `counted` as idle already or not; false when the system has no
    // thread to give.
    bool StartWorker(bool counted);

    EventLoop& loop_;
    std::shared_ptr<Shared> shared_;
    EventLoop::WatchId watch_ = 0;
    // A request waiting for lookup `job`: its own, or one already running for its name.
    struct Pending {
        RequestId job;
        Callback done;
    };
    struct Remembered {
        ResolveResult result;
        std::chrono::steady_clock::time_point until;
    };
    std::map<RequestId, Pending> pending_;
    // The lookups running: by name, and the name of each.
    std::map<std::string, RequestId> inFlight_;
    std::map<RequestId, std::string> jobHosts_;
    // Names resolved lately, answered without a new lookup: a whois lookup asks the same few
    // servers again and again, and a follow-up should not wait for a thread.
    std::map<std::string, Remembered> remembered_;
    RequestId nextId_ = 1;
    // Cleared by the destructor, so a callback may destroy the resolver it is called from.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace whois
