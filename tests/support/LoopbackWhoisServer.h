#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace whois::test {

// One piece of an answer, sent after a pause or once the test calls Release().
struct Segment {
    std::string bytes;
    std::chrono::milliseconds pauseBefore{0};
    bool awaitRelease = false;
};

// What the server does after its last segment.
enum class Ending {
    Close,         // FIN, then it keeps reading what the client still sends until it closes
    Reset,         // RST (SO_LINGER 0), also when the client sent nothing
    KeepOpen,      // never closes; reads until the client closes or the server stops
    StreamForever, // sends without end until the client goes away or the server stops
};

// How the server treats one accepted connection.
struct ConnectionScript {
    // Waits for a line feed from the client (the end of a whois request) before answering.
    bool awaitRequestLine = true;
    std::vector<Segment> segments;
    Ending ending = Ending::Close;
};

// An answer in one piece after the request line, then the close: what most servers do.
ConnectionScript Answer(std::string bytes);
// Accepts, reads and records, and never answers nor closes.
ConnectionScript Silent();

// What one accepted connection saw.
struct ConnectionRecord {
    using Clock = std::chrono::steady_clock;
    std::string received; // every byte the client sent
    bool requestLineSeen = false;
    bool answerDone = false;   // the last segment and the ending (FIN or RST) went out
    bool clientClosed = false; // the client's FIN or RST was seen
    std::size_t bytesSent = 0;
    Clock::time_point acceptedAt{};
    Clock::time_point requestLineAt{}; // when the line feed arrived
    Clock::time_point lastByteSentAt{};
};

// A whois server on 127.0.0.1 for tests: it listens on an ephemeral port (or the one asked
// for), serves every connection on a thread of its own by the script for its number (the last
// script serves all later ones) and records what happened. It stops when destroyed and by
// itself once `lifetime` has passed, so no test can hang on it. Servers on other loopback
// addresses (127.0.0.2, ..., or ::1) can share one port, as whois servers all answer on port 43.
class LoopbackWhoisServer {
  public:
    using Clock = std::chrono::steady_clock;

    explicit LoopbackWhoisServer(std::vector<ConnectionScript> scripts, std::uint16_t port = 0,
                                 std::chrono::seconds lifetime = std::chrono::seconds{30},
                                 const char* bindAddress = "127.0.0.1");
    ~LoopbackWhoisServer();
    LoopbackWhoisServer(const LoopbackWhoisServer&) = delete;
    LoopbackWhoisServer& operator=(const LoopbackWhoisServer&) = delete;

    // False when the port could not be bound; the server then does nothing.
    bool Listening() const { return listener_ >= 0; }
    std::uint16_t Port() const { return port_; }

    std::size_t ConnectionCount() const;
    // A copy of connection `index`'s record (counting from 0); empty when there is none yet.
    ConnectionRecord Connection(std::size_t index) const;
    std::string Received(std::size_t index) const { return Connection(index).received; }

    // Blocks until connection `index` exists and `holds` is true of its record, or `timeout`
    // passes; for waiting on the server without running the client's event loop.
    bool WaitForConnection(std::size_t index,
                           const std::function<bool(const ConnectionRecord&)>& holds,
                           std::chrono::milliseconds timeout = std::chrono::seconds{10}) const;

    // Lets one segment that awaits release go out (the first connection to wait takes it).
    void Release();

  private:
    void AcceptLoop();
    void Serve(int fd, std::size_t index);
    // Waits until `fd` has `events` or the server stops; false when it stopped or timed out.
    bool WaitFor(int fd, short events, Clock::time_point until) const;
    bool ReadSome(int fd, std::size_t index);
    void Update(std::size_t index, const std::function<void(ConnectionRecord&)>& change);

    std::vector<ConnectionScript> scripts_;
    Clock::time_point end_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    int stopPipe_[2] = {-1, -1};

    mutable std::mutex mutex_;
    std::condition_variable released_;
    mutable std::condition_variable changed_;
    std::size_t releases_ = 0;
    bool stopping_ = false;
    std::vector<ConnectionRecord> records_;
    std::vector<std::thread> workers_;
    std::thread acceptor_;
};

} // namespace whois::test
