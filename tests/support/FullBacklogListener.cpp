#include "support/FullBacklogListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace whois::test {

namespace {

constexpr int kMaxFillers = 8;
constexpr int kProbeMilliseconds = 200;

// Starts a connect to `address` and reports whether it completed within the probe time.
bool ConnectsPromptly(int fd, const sockaddr_in& address)
{
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return true;
    }
    pollfd entry{fd, POLLOUT, 0};
    return ::poll(&entry, 1, kProbeMilliseconds) == 1;
}

} // namespace

FullBacklogListener::FullBacklogListener()
{
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 ||
        ::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 0) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return;
    }
    port_ = ntohs(address.sin_port);

    for (int i = 0; i < kMaxFillers && !full_; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            return;
        }
        if (ConnectsPromptly(fd, address)) {
            fillers_.push_back(fd);
        } else {
            full_ = true;
            ::close(fd);
        }
    }
}

FullBacklogListener::~FullBacklogListener()
{
    for (const int fd : fillers_) {
        ::close(fd);
    }
    if (listener_ >= 0) {
        ::close(listener_);
    }
}

} // namespace whois::test
