#include "QtEventLoop.h"

#include <QSocketNotifier>
#include <QTimerEvent>

#include <algorithm>

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

} // namespace

class QtEventLoop::TimerHost final : public QObject {
  public:
    explicit TimerHost(QtEventLoop& loop) : loop_(loop) {}

  protected:
    void timerEvent(QTimerEvent* event) override { loop_.TimerFired(event->timerId()); }

  private:
    QtEventLoop& loop_;
};

QtEventLoop::QtEventLoop() : timerHost_(std::make_unique<TimerHost>(*this)) {}

QtEventLoop::~QtEventLoop()
{
    for (auto& [id, watch] : watches_) {
        delete watch.reading;
        delete watch.writing;
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
    const int qtTimer = timerHost_->startTimer(std::max(delay, std::chrono::milliseconds{0}));
    if (qtTimer != 0) {
        timersByQtId_.emplace(qtTimer, std::make_pair(id, std::move(onTimeout)));
        qtIds_.emplace(id, qtTimer);
    }
    return id;
}

void QtEventLoop::CancelTimer(TimerId id)
{
    const auto found = qtIds_.find(id);
    if (found != qtIds_.end()) {
        timerHost_->killTimer(found->second);
        timersByQtId_.erase(found->second);
        qtIds_.erase(found);
    }
}

void QtEventLoop::TimerFired(int qtTimer)
{
    // A Qt timer repeats: it is stopped before its callback, which may start others.
    timerHost_->killTimer(qtTimer);
    const auto found = timersByQtId_.find(qtTimer);
    if (found == timersByQtId_.end()) {
        return;
    }
    const std::function<void()> callback = std::move(found->second.second);
    qtIds_.erase(found->second.first);
    timersByQtId_.erase(found);
    callback();
}

} // namespace whois::app
