#pragma once

#include "net/PollEventLoop.h"
#include "net/TcpClient.h"

#include "support/MapResolver.h"

#include <chrono>
#include <string>
#include <vector>

namespace whois::test {

inline const char* FailureName(ConnectFailure failure)
{
    switch (failure) {
    case ConnectFailure::InvalidTarget:
        return "InvalidTarget";
    case ConnectFailure::NameNotFound:
        return "NameNotFound";
    case ConnectFailure::NoAddress:
        return "NoAddress";
    case ConnectFailure::ResolverFailed:
        return "ResolverFailed";
    case ConnectFailure::Refused:
        return "Refused";
    case ConnectFailure::Unreachable:
        return "Unreachable";
    case ConnectFailure::TimedOut:
        return "TimedOut";
    case ConnectFailure::Reset:
        return "Reset";
    }
    return "?";
}

// A client on a poll loop whose events are written down in order. `outcomes` holds
// "connected" or "failed:" and the reason; `events` holds "data:" and the bytes FetchData gave
// inside the dispatch, "closed" or "reset". `onData` runs after the bytes are noted.
struct RecordingClient {
    explicit RecordingClient(std::chrono::milliseconds connectTimeout = std::chrono::seconds{5})
        : client(loop, resolver, connectTimeout)
    {
        client.Connected = [this] { outcomes.push_back("connected"); };
        client.ConnectFailed = [this](ConnectFailure failure) {
            outcomes.push_back(std::string("failed:") + FailureName(failure));
        };
        client.DataArrived = [this] {
            events.push_back("data:" + client.FetchData());
            if (onData) {
                onData();
            }
        };
        client.ConnectionClosed = [this](CloseKind kind) {
            events.push_back(kind == CloseKind::Closed ? "closed" : "reset");
        };
    }

    // Starts connecting and runs the loop until the outcome is known; true when connected.
    bool ConnectAndWait(const std::string& host, int port,
                        std::chrono::seconds timeout = std::chrono::seconds{10})
    {
        const std::size_t before = outcomes.size();
        client.Connect(host, port);
        return loop.RunUntil([&] { return outcomes.size() > before; }, timeout) &&
               outcomes.back() == "connected";
    }

    bool RunUntilOutcome(std::chrono::seconds timeout = std::chrono::seconds{10})
    {
        return loop.RunUntil([&] { return !outcomes.empty(); }, timeout);
    }

    bool RunUntilEvents(std::size_t count, std::chrono::seconds timeout = std::chrono::seconds{10})
    {
        return loop.RunUntil([&] { return events.size() >= count; }, timeout);
    }

    PollEventLoop loop;
    MapResolver resolver{{"whois.example.test", "127.0.0.1"}};
    TcpClient client;
    std::vector<std::string> outcomes;
    std::vector<std::string> events;
    std::function<void()> onData;
};

// Counts the firings of a timer that restarts itself every `period`, and the longest gap
// between two firings: how well the loop kept dispatching.
class Ticker {
  public:
    Ticker(EventLoop& loop, std::chrono::milliseconds period) : loop_(loop), period_(period)
    {
        last_ = std::chrono::steady_clock::now();
        Arm();
    }
    ~Ticker() { loop_.CancelTimer(timer_); }

    int Count() const { return count_; }
    std::chrono::steady_clock::duration LongestGap() const { return longest_; }

  private:
    void Arm()
    {
        timer_ = loop_.StartTimer(period_, [this] {
            const auto now = std::chrono::steady_clock::now();
            longest_ = std::max(longest_, now - last_);
            last_ = now;
            ++count_;
            Arm();
        });
    }

    EventLoop& loop_;
    std::chrono::milliseconds period_;
    EventLoop::TimerId timer_ = 0;
    int count_ = 0;
    std::chrono::steady_clock::time_point last_;
    std::chrono::steady_clock::duration longest_{};
};

} // namespace whois::test
