#include "net/PollEventLoop.h"

#include <algorithm>
#include <utility>
#include <vector>

#include <poll.h>

namespace whois {

namespace {

// Predicates that look at other threads are polled at least this often.
constexpr std::chrono::milliseconds kPredicateInterval{10};

} // namespace

EventLoop::WatchId PollEventLoop::Watch(int fd, unsigned interest,
                                        std::function<void(unsigned)> onReady)
{
    const WatchId id = nextId_++;
    watches_.emplace(
        id, WatchEntry{fd, interest,
                       std::make_shared<const std::function<void(unsigned)>>(std::move(onReady))});
    return id;
}

void PollEventLoop::Unwatch(WatchId id)
{
    watches_.erase(id);
}

EventLoop::TimerId PollEventLoop::StartTimer(std::chrono::milliseconds delay,
                                             std::function<void()> onTimeout)
{
    const TimerId id = nextId_++;
    timers_.emplace(id, Timer{Clock::now() + std::max(delay, std::chrono::milliseconds{0}),
                              std::make_shared<const std::function<void()>>(std::move(onTimeout))});
    return id;
}

void PollEventLoop::CancelTimer(TimerId id)
{
    timers_.erase(id);
}

std::size_t PollEventLoop::RunOnce(std::chrono::milliseconds maxWait)
{
    auto wait = std::max(maxWait, std::chrono::milliseconds{0});
    const auto now = Clock::now();
    for (const auto& [id, timer] : timers_) {
        const auto untilDue = std::chrono::ceil<std::chrono::milliseconds>(
            std::max(timer.deadline - now, Clock::duration::zero()));
        wait = std::min(wait, untilDue);
    }

    // A snapshot, because callbacks may add and remove watches while it is being served.
    std::vector<pollfd> fds;
    std::vector<WatchId> ids;
    fds.reserve(watches_.size());
    ids.reserve(watches_.size());
    for (const auto& [id, watch] : watches_) {
        const short events = static_cast<short>(((watch.interest & kReadable) ? POLLIN : 0) |
                                                ((watch.interest & kWritable) ? POLLOUT : 0));
        fds.push_back(pollfd{watch.fd, events, 0});
        ids.push_back(id);
    }

    std::size_t ran = 0;
    const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(wait.count()));
    for (std::size_t i = 0; ready > 0 && i < fds.size(); ++i) {
        if (fds[i].revents == 0) {
            continue;
        }
        const auto found = watches_.find(ids[i]);
        if (found == watches_.end()) {
            continue;
        }
        unsigned seen = 0;
        if ((fds[i].revents & (POLLIN | POLLPRI)) != 0) {
            seen |= kReadable;
        }
        if ((fds[i].revents & POLLOUT) != 0) {
            seen |= kWritable;
        }
        if ((fds[i].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            seen |= kReadable | kWritable;
        }
        // Holding the callback keeps it alive if it removes its own watch.
        const ReadyCallback callback = found->second.callback;
        (*callback)(seen & found->second.interest);
        ++ran;
    }
    return ran + RunDueTimers();
}

std::size_t PollEventLoop::RunDueTimers()
{
    const auto now = Clock::now();
    std::vector<std::pair<Clock::time_point, TimerId>> due;
    for (const auto& [id, timer] : timers_) {
        if (timer.deadline <= now) {
            due.emplace_back(timer.deadline, id);
        }
    }
    std::sort(due.begin(), due.end());

    std::size_t ran = 0;
    for (const auto& [deadline, id] : due) {
        const auto found = timers_.find(id);
        if (found == timers_.end()) {
            continue;
        }
        const Callback callback = found->second.callback;
        timers_.erase(found);
        (*callback)();
        ++ran;
    }
    return ran;
}

bool PollEventLoop::RunUntil(const std::function<bool()>& done, Clock::duration timeout)
{
    const auto end = Clock::now() + timeout;
    while (!done()) {
        const auto left = end - Clock::now();
        if (left <= Clock::duration::zero()) {
            return done();
        }
        RunOnce(std::min(kPredicateInterval, std::chrono::ceil<std::chrono::milliseconds>(left)));
    }
    return true;
}

void PollEventLoop::RunFor(Clock::duration duration)
{
    RunUntil([] { return false; }, duration);
}

} // namespace whois
