#include "QtEventLoop.h"

#include <QSocketNotifier>
#include <QTimer>

namespace whois::app {
namespace {

// A notifier or timer may be dropped from inside its own signal, so it is switched off at
// once and deleted when control is back in the event loop.
void Retire(QSocketNotifier* notifier)
{
    if (notifier != nullptr) {
        notifier->setEnabled(false);
        notifier->deleteLater();
    }
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
        delete watch.reading;
        delete watch.writing;
    }
    for (auto& [id, timer] : timers_) {
        delete timer.timer;
    }
}

EventLoop::WatchId QtEventLoop::Watch(int fd, unsigned interest,
                                      std::function<void(unsigned)> onReady)
{
    const WatchId id = ++lastId_;
    const auto notifier = [this, fd, id](QSocketNotifier::Type type, unsigned seen) {
        auto* made = new QSocketNotifier(static_cast<qintptr>(fd), type);
        QObject::connect(made, &QSocketNotifier::activated, made,
                         [this, id, seen] { Dispatch(id, seen); });
        return made;
    };
    WatchEntry entry{nullptr, nullptr, std::move(onReady)};
    if ((interest & kReadable) != 0) {
        entry.reading = notifier(QSocketNotifier::Read, kReadable);
    }
    if ((interest & kWritable) != 0) {
        entry.writing = notifier(QSocketNotifier::Write, kWritable);
    }
    watches_.emplace(id, std::move(entry));
    return id;
}

void QtEventLoop::Dispatch(WatchId id, unsigned seen)
{
    const auto found = watches_.find(id);
    if (found == watches_.end()) {
        return;
    }
    // A copy: the callback may remove its own watch.
    const std::function<void(unsigned)> callback = found->second.onReady;
    callback(seen);
}

void QtEventLoop::Unwatch(WatchId id)
{
    const auto found = watches_.find(id);
    if (found != watches_.end()) {
        Retire(found->second.reading);
        Retire(found->second.writing);
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
