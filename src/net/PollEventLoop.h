#pragma once

#include "net/EventLoop.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>

namespace whois {

// An event loop over poll(2) for tests and headless use. Watches are served in the order
// they were made, then due timers in the order of their deadlines.
class PollEventLoop : public EventLoop {
  public:
    using Clock = std::chrono::steady_clock;

    WatchId Watch(int fd, unsigned interest, std::function<void(unsigned)> onReady) override;
    void Unwatch(WatchId id) override;
    TimerId StartTimer(std::chrono::milliseconds delay, std::function<void()> onTimeout) override;
    void CancelTimer(TimerId id) override;

    // Waits at most `maxWait` for readiness or a due timer and dispatches what it found.
    // Returns the number of callbacks run.
    std::size_t RunOnce(std::chrono::milliseconds maxWait);

    // Dispatches until `done` holds or `timeout` has passed; returns the last value of `done`.
    bool RunUntil(const std::function<bool()>& done, Clock::duration timeout);

    // Dispatches for `duration`, for tests that show something does not happen.
    void RunFor(Clock::duration duration);

    std::size_t WatchCount() const { return watches_.size(); }
    std::size_t TimerCount() const { return timers_.size(); }

  private:
    using Callback = std::shared_ptr<const std::function<void()>>;
    using ReadyCallback = std::shared_ptr<const std::function<void(unsigned)>>;

    struct WatchEntry {
        int fd;
        unsigned interest;
        ReadyCallback callback;
    };
    struct Timer {
        Clock::time_point deadline;
        Callback callback;
    };

    std::size_t RunDueTimers();

    std::map<WatchId, WatchEntry> watches_;
    std::map<TimerId, Timer> timers_;
    std::uint64_t nextId_ = 1;
};

} // namespace whois
