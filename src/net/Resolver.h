#pragma once

#include "net/ConnectFailure.h"

#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace whois {

// One address a name resolved to, ready for connect(2): IPv4 or IPv6, port left 0.
struct ResolvedAddress {
    sockaddr_storage address{};
    socklen_t length = 0;
};

// The address as text: "192.0.2.1", "2001:db8::1"; empty when it is neither family.
std::string NumericAddress(const ResolvedAddress& address);

// The outcome of one name lookup: the addresses in the order the system prefers them, or
// why there are none (NameNotFound, NoAddress or ResolverFailed).
struct ResolveResult {
    std::vector<ResolvedAddress> addresses;
    ConnectFailure failure = ConnectFailure::NameNotFound; // meaningful when no addresses
};

// Turns an ASCII host name into addresses without blocking the caller. Tests give it a
// table that points names at loopback servers, or one that answers late.
class Resolver {
  public:
    using RequestId = std::uint64_t;
    using Callback = std::function<void(ResolveResult)>;

    virtual ~Resolver() = default;

    // Starts looking `host` up and returns at once. `done` runs exactly once on the event
    // loop's thread, unless the request is cancelled first; it may run before Resolve
    // returns.
    virtual RequestId Resolve(const std::string& host, Callback done) = 0;

    // Forgets a request: its callback never runs. Unknown or finished ids are ignored.
    virtual void Cancel(RequestId id) = 0;

    // Starts looking `host` up ahead of a request for it, which then waits less or not at
    // all. Does nothing where the resolver keeps no answers.
    virtual void Prefetch(const std::string& /*host*/) {}
};

} // namespace whois
