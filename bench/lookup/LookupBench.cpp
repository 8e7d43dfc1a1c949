// The lookup over loopback: how soon a referral is followed, and whether a long run of
// lookups leaves memory or descriptors behind. The whois servers run in a child process, so
// they add nothing to this process's memory and descriptors.
#include "lookup/Lookup.h"
#include "net/PollEventLoop.h"
#include "net/TcpClient.h"

#include <benchmark/benchmark.h>

#include <array>
#include <csignal>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace whois {
namespace {

using namespace std::chrono_literals;

constexpr char kRegistry[] = "com.whois-servers.net";
constexpr char kRegistrar[] = "whois.registrar.test";

std::int64_t MonotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

std::string RegistryAnswer()
{
    std::string answer;
    for (int line = 0; line < 40; ++line) {
        answer += "   Field " + std::to_string(line) + ": value of a typical registry answer\r\n";
    }
    return answer + "   Registrar WHOIS Server: " + kRegistrar + "\r\n>>> Last update <<<\r\n";
}

std::string RegistrarAnswer()
{
    std::string answer;
    for (int line = 0; line < 60; ++line) {
        answer += "Registrant Field " + std::to_string(line) + ": registrar's answer\r\n";
    }
    return answer;
}

int Listen(const char* address, std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &where.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 ||
        ::listen(fd, 128) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::uint16_t PortOf(int fd)
{
    sockaddr_in where{};
    socklen_t length = sizeof where;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&where), &length);
    return ntohs(where.sin_port);
}

// Reads a request line, answers and closes. Returns when the request line arrived and when
// the answer's last byte went out.
std::array<std::int64_t, 2> Serve(int listener, const std::string& answer)
{
    const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    std::array<std::int64_t, 2> times{0, 0};
    if (fd < 0) {
        return times;
    }
    char buffer[512];
    std::string request;
    while (request.find('\n') == std::string::npos) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            break;
        }
        request.append(buffer, static_cast<std::size_t>(got));
    }
    times[0] = MonotonicNanoseconds();
    std::size_t sent = 0;
    while (sent < answer.size()) {
        const ssize_t n = ::send(fd, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            break;
        }
        sent += static_cast<std::size_t>(n);
    }
    times[1] = MonotonicNanoseconds();
    ::shutdown(fd, SHUT_WR);
    while (::recv(fd, buffer, sizeof buffer, 0) > 0) {
    }
    ::close(fd);
    return times;
}

// A registry and a registrar in a child process. After every follow-up it reports, through a
// pipe, the registry's last byte and the registrar's request arrival.
class ServerProcess {
  public:
    ServerProcess()
    {
        const int registry = Listen("127.0.0.1", 0);
        port_ = PortOf(registry);
        const int registrar = Listen("127.0.0.2", port_);
        int pipeFds[2];
        if (registry < 0 || registrar < 0 || ::pipe2(pipeFds, O_CLOEXEC) != 0) {
            std::abort();
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(pipeFds[0]);
            const std::string first = RegistryAnswer();
            const std::string second = RegistrarAnswer();
            for (;;) {
                const auto registryTimes = Serve(registry, first);
                const auto registrarTimes = Serve(registrar, second);
                const std::int64_t report[2] = {registryTimes[1], registrarTimes[0]};
                if (::write(pipeFds[1], report, sizeof report) != sizeof report) {
                    ::_exit(0);
                }
            }
        }
        ::close(registry);
        ::close(registrar);
        ::close(pipeFds[1]);
        reports_ = pipeFds[0];
    }

    ~ServerProcess()
    {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        ::close(reports_);
    }

    std::uint16_t Port() const { return port_; }

    // Nanoseconds from the registry's last byte to the follow-up request at the registrar.
    std::int64_t NextFollowUpDelay() const
    {
        std::int64_t report[2] = {0, 0};
        if (::read(reports_, report, sizeof report) != sizeof report) {
            return -1;
        }
        return report[1] - report[0];
    }

  private:
    pid_t pid_ = -1;
    int reports_ = -1;
    std::uint16_t port_ = 0;
};

class LoopbackResolver : public Resolver {
  public:
    RequestId Resolve(const Text& host, Callback done) override
    {
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        ::inet_pton(AF_INET, host == kRegistry ? "127.0.0.1" : "127.0.0.2", &peer.sin_addr);
        ResolveResult result;
        result.addresses.resize(1);
        std::memcpy(&result.addresses[0].address, &peer, sizeof peer);
        result.addresses[0].length = sizeof peer;
        done(std::move(result));
        return 0;
    }
    void Cancel(RequestId) override {}
};

class Boxes : public LookupBoxes {
  public:
    Lookup* lookup = nullptr;
    Text server;
    int answers = 0;

    Text ReadQueryBox() const override { return "www.example.com"; }
    void WriteServerBox(const Text& text) override { server = text; }
    void WriteResultBox(const Text&) override
    {
        ++answers;
        lookup->StartFollowUp();
    }
};

// One process-wide lookup, as the program has.
struct Fixture {
    ServerProcess servers;
    PollEventLoop loop;
    LoopbackResolver resolver;
    TcpClient client{loop, resolver};
    LookupState state;
    Boxes boxes;
    Lookup lookup{state, client, boxes, loop, Limits()};

    Fixture() { boxes.lookup = &lookup; }

    Lookup::Limits Limits() const
    {
        Lookup::Limits limits;
        limits.whoisPort = servers.Port();
        return limits;
    }

    bool LookUpOnce()
    {
        const int before = boxes.answers;
        lookup.RunQuery();
        return loop.RunUntil([&] { return boxes.answers == before + 2; }, 5s);
    }
};

Fixture& Shared()
{
    static Fixture fixture;
    return fixture;
}

void BM_FollowUpDelay(benchmark::State& state)
{
    Fixture& fixture = Shared();
    for (auto _ : state) {
        if (!fixture.LookUpOnce()) {
            state.SkipWithError("a lookup did not finish");
            return;
        }
        state.SetIterationTime(static_cast<double>(fixture.servers.NextFollowUpDelay()) / 1e9);
    }
}
BENCHMARK(BM_FollowUpDelay)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(500);

std::size_t ResidentKiB()
{
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0;
    std::size_t resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)) / 1024;
}

std::size_t OpenDescriptors()
{
    const std::filesystem::directory_iterator entries("/proc/self/fd");
    return static_cast<std::size_t>(
        std::distance(std::filesystem::begin(entries), std::filesystem::end(entries)));
}

void BM_RepeatedLookups(benchmark::State& state)
{
    const int lookups = static_cast<int>(state.range(0));
    Fixture& fixture = Shared();
    for (int warm = 0; warm < 300; ++warm) {
        fixture.LookUpOnce();
        fixture.servers.NextFollowUpDelay();
    }
    const std::size_t residentBefore = ResidentKiB();
    const std::size_t descriptorsBefore = OpenDescriptors();
    for (auto _ : state) {
        for (int lookup = 0; lookup < lookups; ++lookup) {
            if (!fixture.LookUpOnce()) {
                state.SkipWithError("a lookup did not finish");
                return;
            }
            fixture.servers.NextFollowUpDelay();
        }
    }
    state.counters["rss_kib_before"] = static_cast<double>(residentBefore);
    state.counters["rss_kib_growth"] =
        static_cast<double>(ResidentKiB()) - static_cast<double>(residentBefore);
    state.counters["fds_before"] = static_cast<double>(descriptorsBefore);
    state.counters["fds_growth"] =
        static_cast<double>(OpenDescriptors()) - static_cast<double>(descriptorsBefore);
    state.counters["loop_watches"] = static_cast<double>(fixture.loop.WatchCount());
    state.counters["loop_timers"] = static_cast<double>(fixture.loop.TimerCount());
}
BENCHMARK(BM_RepeatedLookups)->Arg(1000)->Arg(3000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace whois

BENCHMARK_MAIN();
