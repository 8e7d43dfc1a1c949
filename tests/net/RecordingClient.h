#pragma once

#include "net/PollEventLoop.h"
#include "net/TcpClient.h"

#include "support/MapResolver.h"

#include <chrono>
#include <string>
#include <vector>

namespace whois::test {

// A client on a poll loop whose events are written down in order: "data:" and the bytes
// FetchData gave inside the dispatch, or "closed". `onData` runs after the bytes are noted.
struct RecordingClient {
    explicit RecordingClient(std::chrono::milliseconds connectTimeout = std::chrono::seconds{5})
        : client(loop, resolver, connectTimeout)
    {
        client.DataArrived = [this] {
            events.push_back("data:" + client.FetchData());
            if (onData) {
                onData();
            }
        };
        client.ConnectionClosed = [this] { events.push_back("closed"); };
    }

    bool RunUntilEvents(std::size_t count, std::chrono::seconds timeout = std::chrono::seconds{10})
    {
        return loop.RunUntil([&] { return events.size() >= count; }, timeout);
    }

    PollEventLoop loop;
    MapResolver resolver{{"whois.example.test", "127.0.0.1"}};
    TcpClient client;
    std::vector<std::string> events;
    std::function<void()> onData;
};

} // namespace whois::test
