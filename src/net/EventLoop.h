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

    // What a watch waits for and what the loop found; a hang-up or an error counts as both.
    enum Readiness : unsigned {
        kReadable = 1u << 0,
        kWritable = 1u << 1,
    };

    virtual ~EventLoop() = default;

    // Calls `onReady` with what the loop found each time `fd` is ready for any of `interest`
    // (kReadable, kWritable or both), hung up or in error, until the watch is removed;
    // level-triggered, so the owner must read, write or unwatch. Ids are never reused, so
    // readiness seen for a removed watch never reaches a later one on the same fd.
    virtual WatchId Watch(int fd, unsigned interest, std::function<void(unsigned)> onReady) = 0;

    // Watch for reading only.
    WatchId WatchReadable(int fd, std::function<void()> onReadable)
    {
        return Watch(fd, kReadable,
                     [onReadable = std::move(onReadable)](unsigned) { onReadable(); });
    }

    // Stops the watch; unknown or removed ids are ignored. The fd is left open.
    virtual void Unwatch(WatchId id) = 0;

    // Calls `onTimeout` once, no sooner than `delay` from now, unless cancelled first.
    virtual TimerId StartTimer(std::chrono::milliseconds delay,
                               std::function<void()> onTimeout) = 0;

    // Cancels a pending timer; fired, cancelled or unknown ids are ignored.
    virtual void CancelTimer(TimerId id) = 0;
};

} // namespace whois
