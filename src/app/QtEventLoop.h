#pragma once

#include "net/EventLoop.h"

#include <QObject>

#include <map>

class QSocketNotifier;
class QTimer;

namespace whois::app {

// Socket readiness and timers for the core, from the Qt event loop of the window's thread.
class QtEventLoop final : public EventLoop {
  public:
    QtEventLoop() = default;
    ~QtEventLoop() override;
    QtEventLoop(const QtEventLoop&) = delete;
    QtEventLoop& operator=(const QtEventLoop&) = delete;

    WatchId Watch(int fd, unsigned interest, std::function<void(unsigned)> onReady) override;
    void Unwatch(WatchId id) override;
    TimerId StartTimer(std::chrono::milliseconds delay, std::function<void()> onTimeout) override;
    void CancelTimer(TimerId id) override;

  private:
    struct WatchEntry {
        QSocketNotifier* reading; // null when not watched for reading
        QSocketNotifier* writing; // null when not watched for writing
        std::function<void(unsigned)> onReady;
    };

    void Dispatch(WatchId id, unsigned seen);
    struct Timer {
        QTimer* timer;
        std::function<void()> onTimeout;
    };

    std::uint64_t lastId_ = 0;
    std::map<WatchId, WatchEntry> watches_;
    std::map<TimerId, Timer> timers_;
};

} // namespace whois::app
