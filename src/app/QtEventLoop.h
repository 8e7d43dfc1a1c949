#pragma once

#include "net/EventLoop.h"

#include <QObject>

#include <map>
#include <memory>

class QSocketNotifier;

namespace whois::app {

// Socket readiness and timers for the core, from the Qt event loop of the window's thread.
class QtEventLoop final : public EventLoop {
  public:
    QtEventLoop();
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

    // Receives the events of every timer; a timer is one Qt timer id on it, so starting and
    // stopping one allocates no object and posts no event.
    class TimerHost;

    void Dispatch(WatchId id, unsigned seen);
    void TimerFired(int qtTimer);

    std::uint64_t lastId_ = 0;
    std::map<WatchId, WatchEntry> watches_;
    std::unique_ptr<TimerHost> timerHost_;
    std::map<int, std::pair<TimerId, std::function<void()>>> timersByQtId_;
    std::map<TimerId, int> qtIds_;
};

} // namespace whois::app
