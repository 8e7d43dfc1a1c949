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

    WatchId WatchReadable(int fd, std::function<void()> onReadable) override;
    void Unwatch(WatchId id) override;
    TimerId StartTimer(std::chrono::milliseconds delay, std::function<void()> onTimeout) override;
    void CancelTimer(TimerId id) override;

  private:
    struct Watch {
        QSocketNotifier* notifier;
        std::function<void()> onReadable;
    };
    struct Timer {
        QTimer* timer;
        std::function<void()> onTimeout;
    };

    std::uint64_t lastId_ = 0;
    std::map<WatchId, Watch> watches_;
    std::map<TimerId, Timer> timers_;
};

} // namespace whois::app
