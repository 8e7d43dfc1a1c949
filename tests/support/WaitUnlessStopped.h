#pragma once

#include <algorithm>
#include <cerrno>
#include <chrono>

#include <poll.h>

namespace whois::test {

// Waits until `fd` has `events` (with fd < 0, only for the stop), `stopFd` becomes readable
// or `until` passes; true only in the first case. What the loopback servers' threads wait
// with, so that stopping a server wakes every one of them at once.
inline bool WaitUnlessStopped(int fd, short events, int stopFd,
                              std::chrono::steady_clock::time_point until)
{
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd fds[2] = {{stopFd, POLLIN, 0}, {fd, events, 0}};
        const int ready = ::poll(fds, fd >= 0 ? 2 : 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) {
            return false;
        }
        if (fds[0].revents != 0) {
            return false;
        }
        if (ready > 0) {
            return true;
        }
    }
}

} // namespace whois::test
