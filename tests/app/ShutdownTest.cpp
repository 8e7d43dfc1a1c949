// The real start-up and shutdown in a child process after a lookup: whatever the lookup holds
// at exit is released exactly once and the process ends with status 0.
#include "MainWindow.h"
#include "ResultBox.h"
#include "Startup.h"

#include "lookup/LookupState.h"
#include "support/CaseName.h"
#include "support/LoopbackWhoisServer.h"
#include "support/MapResolver.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>

#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace whois::app {
namespace {

using namespace std::chrono_literals;
using test::LoopbackWhoisServer;

// Exit codes of the child that tell the test where it went wrong.
constexpr int kNoAnswer = 3;
constexpr int kNoGoAhead = 4;
constexpr int kNoPort = 5;

// When the child closes its window: after the answer is shown, or while the server still
// holds the answer back.
enum class CloseWhen { AnswerShown, LookupInFlight };

struct ShutdownCase : test::NamedCase {
    CloseWhen closeWhen;
};

// An answer well beyond the small-string buffer, so every text the lookup keeps is on the heap.
std::string LongAnswer()
{
    std::string answer = "Domain Name: EXAMPLE.COM\r\n";
    for (int i = 0; i < 8; ++i) {
        answer += "Name Server: NS" + std::to_string(i) + ".EXAMPLE-NAME-SERVERS.NET\r\n";
    }
    return answer + "Registrar: Example Registrar, Inc.\r\n";
}

bool Readable(int fd)
{
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, 0) == 1;
}

// The child: the real start-up with the test's resolver and port, a lookup typed and clicked
// as a person would, then the window closed. Never returns.
[[noreturn]] void RunChild(std::uint16_t port, CloseWhen closeWhen, int goAhead)
{
    QTemporaryDir data;
    ::setenv("XDG_DATA_HOME", QFile::encodeName(data.path()).constData(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    test::MapResolver resolver{{"com.whois-servers.net", "127.0.0.1"}};
    int failure = 0;

    ProgramHooks hooks;
    hooks.makeWindow = [&](LookupState& state) {
        Lookup::Limits limits;
        limits.whoisPort = port;
        return std::make_unique<MainWindow>(state, resolver, limits);
    };
    hooks.onShown = [&](MainWindow& window) {
        QTest::keyClicks(window.findChild<QLineEdit*>(QString::fromUtf8("编辑框2")),
                         QStringLiteral("example.com"));
        QTest::mouseClick(window.findChild<QPushButton*>(QString::fromUtf8("按钮1")),
                          Qt::LeftButton);
        if (closeWhen == CloseWhen::AnswerShown) {
            auto* result = window.findChild<ResultBox*>(QString::fromUtf8("超级编辑框1"));
            failure = QTest::qWaitFor([&] { return !result->toPlainText().isEmpty(); }, 10000)
                          ? 0
                          : kNoAnswer;
        } else {
            failure = QTest::qWaitFor([&] { return Readable(goAhead); }, 10000) ? 0 : kNoGoAhead;
        }
        window.close();
    };

    int argc = 1;
    char name[] = "whois-desktop";
    char* argv[] = {name, nullptr};
    const int exitCode = RunProgram(argc, argv, hooks);
    // exit, not _exit: the exit routines and static destructors are what is under test.
    std::exit(failure != 0 ? failure : exitCode);
}

// Waits for the child's end; kills it when it has not ended by the deadline.
int WaitForExit(pid_t child, std::chrono::seconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            ADD_FAILURE() << "the program did not end";
            return status;
        }
        std::this_thread::sleep_for(20ms);
    }
    return status;
}

class ShutdownTest : public testing::TestWithParam<ShutdownCase> {};

TEST_P(ShutdownTest, EndsWithStatusZero)
{
    const CloseWhen closeWhen = GetParam().closeWhen;
    int goAhead[2];
    int portPipe[2];
    ASSERT_EQ(::pipe(goAhead), 0);
    ASSERT_EQ(::pipe(portPipe), 0);

    // The child is made while this process has one thread: a fork beside a running thread
    // can copy a lock that thread holds (the sanitizers' allocator's, say), which the child
    // then waits on for ever. It learns the server's port once the server runs.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(goAhead[1]);
        ::close(portPipe[1]);
        std::uint16_t port = 0;
        if (::read(portPipe[0], &port, sizeof port) != sizeof port) {
            std::_Exit(kNoPort);
        }
        RunChild(port, closeWhen, goAhead[0]);
    }
    ::close(goAhead[0]);
    ::close(portPipe[0]);

    test::ConnectionScript script = test::Answer(LongAnswer());
    script.segments[0].awaitRelease = closeWhen == CloseWhen::LookupInFlight;
    LoopbackWhoisServer server({script}, 0, 60s, "127.0.0.1");
    const std::uint16_t port = server.Listening() ? server.Port() : 0;
    EXPECT_EQ(::write(portPipe[1], &port, sizeof port), static_cast<ssize_t>(sizeof port));
    ::close(portPipe[1]);
    EXPECT_NE(port, 0);
    if (closeWhen == CloseWhen::LookupInFlight) {
        EXPECT_TRUE(server.WaitForConnection(
            0, [](const test::ConnectionRecord& record) { return record.requestLineSeen; }));
        const char byte = 1;
        EXPECT_EQ(::write(goAhead[1], &byte, 1), 1);
    }

    const int status = WaitForExit(child, 60s);
    ::close(goAhead[1]);
    server.Release();
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(server.Received(0), "example.com\r\n");
}

INSTANTIATE_TEST_SUITE_P(Close, ShutdownTest,
                         testing::Values(ShutdownCase{{"AfterTheAnswer"}, CloseWhen::AnswerShown},
                                         ShutdownCase{{"WhileTheLookupRuns"},
                                                      CloseWhen::LookupInFlight}),
                         test::CaseName());

} // namespace
} // namespace whois::app
