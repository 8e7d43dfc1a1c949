#pragma once

#include "net/ConnectFailure.h"
#include "net/EventLoop.h"
#include "net/Resolver.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace whois {

// An event-driven TCP client (IPv6 and IPv4) that moves bytes and knows no protocol. At
// most one connection is open or being made at a time. Nothing it does blocks the thread:
// the name lookup runs through the resolver, the connection attempts through the event
// loop. Received bytes are drained when the event loop reports the socket readable and
// handed to the owner through `DataArrived`; the peer's close or a hard error through
// `ConnectionClosed`.
class TcpClient {
  public:
    // The name lookup and the connection attempts together end within this time.
    static constexpr std::chrono::milliseconds kConnectTimeout{10'000};
    // One drain stops after this many bytes and the rest comes with the next readiness, so a
    // peer that sends without end cannot keep the loop in one drain or grow it without bound.
    static constexpr std::size_t kMaxDrainBytes = std::size_t{1} << 20;

    TcpClient(EventLoop& loop, Resolver& resolver,
              std::chrono::milliseconds connectTimeout = kConnectTimeout);
    ~TcpClient();
    TcpClient(const TcpClient&) = delete;
    TcpClient& operator=(const TcpClient&) = delete;

    // Drops any earlier connection or attempt without an event, then starts connecting to
    // `host` (an ASCII name for the resolver, or an IPv4 or IPv6 literal used as it is) on
    // `port`. Returns at once. Every address the name resolves to is tried, IPv6 and IPv4,
    // until one connects or the time-out passes; then `Connected` or `ConnectFailed` is
    // raised from the event loop, never inside Connect. `request`, when given, is sent the
    // moment the connection is made, before `Connected` is raised: for a peer that answers
    // at once (a name resolved lately, a nearby server) that is before Connect returns.
    void Connect(const std::string& host, int port, std::string request = {});

    // Hands every byte to the socket. False without a connection or at the first error;
    // bytes handed over before the error stay sent. True for no bytes, sending nothing.
    bool SendData(std::string_view data);

    // A copy of the bytes of the `DataArrived` being raised; empty at any other time.
    std::string FetchData() const { return delivered_; }

    // Closes the connection or abandons the attempt, if any. Raises no event.
    void Disconnect();

    // Looks `host` up ahead of a connection to it, which then waits less for its name.
    void Prepare(const std::string& host);

    bool IsConnecting() const;
    bool IsConnected() const;

    // The numeric address of the peer connected to ("192.0.2.1", "2001:db8::1"), or empty.
    std::string PeerAddress() const;

    // Bound by the owner; an unbound event does nothing. Handlers may call back into the
    // client, Disconnect and Connect included, and may destroy it.
    std::function<void()> Connected;
    std::function<void(ConnectFailure)> ConnectFailed;
    std::function<void()> DataArrived;
    std::function<void(CloseKind)> ConnectionClosed;

  private:
    // One connection attempt to one address, in flight.
    struct Attempt {
        std::uint64_t serial;
        int fd;
        EventLoop::WatchId watch;
        ResolvedAddress address;
    };

    void OnResolved(ResolveResult result);
    void StartNextAttempt();
    void OnAttemptReady(std::uint64_t serial);
    void AttemptFailed(int error);
    void Win(int fd, const ResolvedAddress& address);
    void Fail(ConnectFailure failure);
    void AbandonAttempts();
    void OnReadable(std::uint64_t generation);
    void StopWatching();

    EventLoop& loop_;
    Resolver& resolver_;
    std::chrono::milliseconds connectTimeout_;

    // The connection being made: the lookup, the addresses still to try (families already
    // interleaved), the attempts in flight and what the failed ones said.
    bool connecting_ = false;
    int port_ = 0;
    std::optional<Resolver::RequestId> lookup_;
    bool awaitingLookup_ = false;
    std::vector<ResolvedAddress> untried_;
    std::vector<Attempt> attempts_;
    std::uint64_t nextSerial_ = 1;
    bool sawRefused_ = false;
    bool sawUnreachable_ = false;
    bool sawReset_ = false;
    bool sawTimeout_ = false;
    std::optional<EventLoop::TimerId> deadline_;
    std::optional<EventLoop::TimerId> stagger_;
    void RaiseConnected();

    // Set while Connect runs, so outcomes found inside it are raised from the loop instead.
    bool insideConnect_ = false;
    std::string request_; // sent as the connection is made
    std::optional<EventLoop::TimerId> deferred_;

    // The connection made.
    int socket_ = -1;
    bool connected_ = false;
    std::string peerAddress_;
    std::optional<EventLoop::WatchId> watch_;
    // Changes with every connection, so readiness of a dropped one is recognised and ignored.
    std::uint64_t generation_ = 0;
    std::string delivered_;
    // Cleared by the destructor, so a handler may destroy the client it is called from.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace whois
