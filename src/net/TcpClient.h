#pragma once

#include "net/EventLoop.h"
#include "net/Resolver.h"
#include <string>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace whois {

// An event-driven IPv4 TCP client that moves bytes and knows no protocol. At most one
// connection is open at a time. Received bytes are drained when the event loop reports the
// socket readable and handed to the owner through `DataArrived`; the peer's close or a hard
// error through `ConnectionClosed`. Failures are results, never events.
class TcpClient {
  public:
    static constexpr std::chrono::milliseconds kConnectTimeout{10'000};
    // One drain stops after this many bytes and the rest comes with the next readiness, so a
    // peer that sends without end cannot keep the loop in one drain or grow it without bound.
    static constexpr std::size_t kMaxDrainBytes = std::size_t{1} << 20;

    TcpClient(EventLoop& loop, Resolver& resolver,
              std::chrono::milliseconds connectTimeout = kConnectTimeout);
    ~TcpClient();
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    // Drops any earlier connection without an event, then connects to `host` (a dotted IPv4
    // address, used without a lookup, or a name for the resolver) on `port`; a port below 1 is
    // taken as 1. Blocks for the lookup and at most the connect time-out, dispatching nothing.
    // True when connected and watched for data; false leaves no connection.
    bool Connect(const std::string& host, int port);

    // Hands every byte to the socket without waiting for it to become writable. False without
    // a connection or at the first error (a full send buffer included); bytes handed over
    // before the error stay sent. True for no bytes, sending nothing.
    bool SendData(std::string_view data);

    // A copy of the bytes of the `DataArrived` being raised; empty at any other time. Never
    // reads from the socket and consumes nothing.
    std::string FetchData() const { return delivered_; }

    // Closes the connection, if any, and forgets its pending readiness. Raises no event.
    void Disconnect();

    bool IsConnected() const { return connected_; }

    // Bound by the owner; an unbound event does nothing. Handlers may call back into the
    // client, Disconnect and Connect included; the new connection's events come afterwards.
    std::function<void()> DataArrived;
    std::function<void()> ConnectionClosed;

  private:
    void OnReadable(std::uint64_t generation);
    void StopWatching();

    EventLoop& loop_;
    Resolver& resolver_;
    std::chrono::milliseconds connectTimeout_;
    int socket_ = -1;
    bool connected_ = false;
    std::optional<EventLoop::WatchId> watch_;
    // Changes with every connection, so readiness of a dropped one is recognised and ignored.
    std::uint64_t generation_ = 0;
    std::string delivered_;
    // Cleared by the destructor, so a handler may destroy the client it is called from.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace whois
