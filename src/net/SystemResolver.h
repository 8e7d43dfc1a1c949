#pragma once

#include "net/EventLoop.h"
#include "net/Resolver.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace whois {

// Resolves through the system's resolver (getaddrinfo, IPv6 and IPv4). Each name is looked up
// on a thread of its own, so a slow or dead name server never holds up the caller; results
// are handed back on the event loop's thread. IP literals are answered without a thread.
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

    // The blocking getaddrinfo lookup itself; never fails otherwise than by its result.
    static ResolveResult LookUp(const std::string& host);

  private:
    struct Shared;

    void Deliver();

    EventLoop& loop_;
    LookUpFunction lookUp_;
    std::shared_ptr<Shared> shared_;
    EventLoop::WatchId watch_ = 0;
    std::map<RequestId, Callback> pending_;
    RequestId nextId_ = 1;
    // Cleared by the destructor, so a callback may destroy the resolver it is called from.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace whois
