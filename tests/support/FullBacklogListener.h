#pragma once

#include <cstdint>
#include <vector>

namespace whois::test {

// A listener on 127.0.0.1 that never accepts and whose accept queue is full, so the kernel
// drops further SYNs and a connect to it hangs until the caller gives up: a connection
// attempt that never ends, without leaving loopback.
class FullBacklogListener {
  public:
    FullBacklogListener();
    ~FullBacklogListener();
    FullBacklogListener(const FullBacklogListener&) = delete;
    FullBacklogListener& operator=(const FullBacklogListener&) = delete;

    // True when a probe connect was seen to hang; tests skip otherwise.
    bool Full() const { return full_; }
    std::uint16_t Port() const { return port_; }

  private:
    int listener_ = -1;
    std::uint16_t port_ = 0;
    bool full_ = false;
    std::vector<int> fillers_;
};

} // namespace whois::test
