#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace whois {

// What the core needs from the thread's event loop: readiness of sockets and single-shot
// timers. Every callback runs on the loop's own thread, one at a time, and may watch,
// unwatch, start or cancel anything, its own watch or timer included.
class EventLoop {
  public:
    using WatchId = std::uint64_t;
    using TimerId = std::uint64_t;

    virtual ~EventLoop() = default;

    // Calls `onReadable` each time the loop finds `fd` readable, hung up or in error, until
    // the watch is removed; level-triggered, so the owner must read or unwatch. Ids are never
    // reused, so readiness seen for a removed watch never reaches a later one on the same fd.
    virtual WatchId WatchReadable(int fd, std::function<void()> onReadable) = 0;

    // Stops the watch; unknown or removed ids are ignored. The fd is left open.
    virtual void Unwatch(WatchId id) = 0;

    // Calls `onTimeout` once, no sooner than `delay` from now, unless cancelled first.
    virtual TimerId StartTimer(std::chrono::milliseconds delay,
                               std::function<void()> onTimeout) = 0;

    // Cancels a pending timer; fired, cancelled or unknown ids are ignored.
    virtual void CancelTimer(TimerId id) = 0;
};

} // namespace whois
