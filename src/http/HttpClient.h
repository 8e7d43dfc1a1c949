#pragma once

#include "http/HttpRequest.h"
#include "http/HttpResponse.h"
#include "net/EventLoop.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace whois {

// HTTPS GET requests driven by the thread's event loop: sockets and the timer of the
// transport are watched through the loop, so nothing ever blocks the thread. Any number of
// requests may run at once.
class HttpClient {
  public:
    using RequestId = std::uint64_t;
    using Done = std::function<void(HttpResponse)>;

    explicit HttpClient(EventLoop& loop);
    // Drops every request without calling its `done`.
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // Starts `request`; `done` is called exactly once, later, from the loop (also for a URL
    // that is rejected at once), unless the request is cancelled first. `done` may cancel
    // requests, start new ones or destroy the client.
    RequestId Get(HttpRequest request, Done done);

    // Drops the request without calling its `done`; unknown or finished ids are ignored.
    void Cancel(RequestId id);

    std::size_t ActiveCount() const { return transfers_.size(); }

  private:
    struct Transfer;

    void StartTransport();
    static int OnSocket(void* easy, int socket, int what, void* client, void* socketData);
    static int OnTimer(void* multi, long timeoutMs, void* client);
    void Act(int socket, int flags);
    void FinishDone();
    void Fail(Transfer& transfer, HttpFailure failure, std::string detail);
    void Deliver(RequestId id);
    void Drop(Transfer& transfer);

    EventLoop& loop_;
    void* multi_ = nullptr;
    std::map<RequestId, std::unique_ptr<Transfer>> transfers_;
    std::map<int, EventLoop::WatchId> watches_;
    std::optional<EventLoop::TimerId> timer_;
    RequestId nextId_ = 1;
    // Cleared by the destructor, so a `done` may destroy the client it is called from.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace whois
