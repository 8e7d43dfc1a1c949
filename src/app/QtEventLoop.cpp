#include "QtEventLoop.h"

#include <QSocketNotifier>
#include <QTimer>

namespace whois::app {
namespace {

// A notifier or timer may be dropped from inside its own signal, so it is switched off at
// once and deleted when control is back in the event loop.
void Retire(QSocketNotifier* notifier)
{
    notifier->setEnabled(false);
    notifier->deleteLater();
}

void Retire(QTimer* timer)
{
    timer->stop();
    timer->deleteLater();
}

} // namespace

QtEventLoop::~QtEventLoop()
{
    for (auto& [id, watch] : watches_) {
        delete watch.notifier;
    }
    for (auto& [id, timer] : timers_) {
        delete timer.timer;
    }
}

EventLoop::WatchId QtEventLoop::WatchReadable(int fd, std::function<void()> onReadable)
{
    const WatchId id = ++lastId_;
    auto* notifier = new QSocketNotifier(static_cast<qintptr>(fd), QSocketNotifier::Read);
    watches_.emplace(id, Watch{notifier, std::move(onReadable)});
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [this, id] {
        const auto found = watches_.find(id);
        if (found == watches_.end()) {
            return;
        }
        // A copy: the callback may remove its own watch.
        const std::function<void()> callback = found->second.onReadable;
        callback();
    });
    return id;
}

void QtEventLoop::Unwatch(WatchId id)
{
    const auto found = watches_.find(id);
    if (found != watches_.end()) {
        Retire(found->second.notifier);
        watches_.erase(found);
    }
}

EventLoop::TimerId QtEventLoop::StartTimer(std::chrono::milliseconds delay,
                                           std::function<void()> onTimeout)
{
    const TimerId id = ++lastId_;
    auto* timer = new QTimer();
    timer->setSingleShot(true);
    timers_.emplace(id, Timer{timer, std::move(onTimeout)});
    QObject::connect(timer, &QTimer::timeout, timer, [this, id] {
        const auto found = timers_.find(id);
        if (found == timers_.end()) {
            return;
        }
        const std::function<void()> callback = std::move(found->second.onTimeout);
        Retire(found->second.timer);
        timers_.erase(found);
        callback();
    });
    timer->start(delay);
    return id;
}

void QtEventLoop::CancelTimer(TimerId id)
{
    const auto found = timers_.find(id);
    if (found != timers_.end()) {
        Retire(found->second.timer);
        timers_.erase(found);
    }
}

} // namespace whois::app
