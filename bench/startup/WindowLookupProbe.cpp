// Drives the real window through lookups for scripts/bench-hops.py: types the query once,
// clicks the query button, waits until the registrar's answer is on display, and clicks
// again, as many times as asked. Prints one line per lookup:
//   lookup <index> <clicked ns> <shown ns>        (CLOCK_MONOTONIC)
// Usage: window_lookup_probe [lookups] [query] [registrar server] [registrar answer text]
// Each falls back to WHOIS_PROBE_LOOKUPS, WHOIS_PROBE_QUERY, WHOIS_PROBE_SERVER and
// WHOIS_PROBE_MARK, then to 1, google.com, whois.markmonitor.com and "MarkMonitor, Inc.".
// With WHOIS_PROBE_STEP=1 each click waits for a line on standard input, so that a caller
// can take turns with other programs; the end of input closes the window.
#include "MainWindow.h"
#include "Startup.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include <unistd.h>

namespace {

constexpr int kLookupTimeoutMs = 10000;

long long MonotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

std::string Setting(int argc, char** argv, int index, const char* variable, const char* fallback)
{
    if (index < argc) {
        return argv[index];
    }
    const char* value = std::getenv(variable);
    return value != nullptr ? value : fallback;
}

// Clicks, watches the result box, and clicks again once the registrar's answer is shown.
class LookupDriver : public QObject {
  public:
    LookupDriver(whois::app::MainWindow& window, int lookups, bool stepped, QString server,
                 QString mark)
        : QObject(&window), window_(window), lookups_(lookups), stepped_(stepped),
          server_(std::move(server)), mark_(std::move(mark)),
          query_(window.findChild<QPushButton*>(QString::fromUtf8("按钮1"))),
          serverBox_(window.findChild<QLineEdit*>(QString::fromUtf8("编辑框1"))),
          resultBox_(window.findChild<QPlainTextEdit*>(QString::fromUtf8("超级编辑框1")))
    {
        timeout_.setSingleShot(true);
        connect(&timeout_, &QTimer::timeout, this, [this] {
            std::fprintf(stderr, "window_lookup_probe: lookup %d not shown within %d ms\n", done_,
                         kLookupTimeoutMs);
            std::fflush(stdout);
            std::_Exit(1);
        });
    }

    bool Ready() const
    {
        return query_ != nullptr && serverBox_ != nullptr && resultBox_ != nullptr;
    }

    void Start()
    {
        connect(resultBox_, &QPlainTextEdit::textChanged, this, [this] { Check(); });
        connect(serverBox_, &QLineEdit::textChanged, this, [this] { Check(); });
        if (stepped_) {
            auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
            connect(input, &QSocketNotifier::activated, this, [this, input] { ReadTurns(input); });
        } else {
            Click();
        }
    }

  private:
    // Each line on standard input grants one click.
    void ReadTurns(QSocketNotifier* input)
    {
        char buffer[256];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            input->setEnabled(false);
            inputEnded_ = true;
        }
        for (ssize_t i = 0; i < got; ++i) {
            turns_ += buffer[i] == '\n' ? 1 : 0;
        }
        NextClick();
    }

    // Clicks when a turn is granted; closes the window once no further turn can come.
    void NextClick()
    {
        if (armed_) {
            return;
        }
        if (done_ >= lookups_ || (stepped_ && inputEnded_ && turns_ == 0)) {
            window_.close();
        } else if (!stepped_) {
            Click();
        } else if (turns_ > 0) {
            --turns_;
            Click();
        }
    }

    void Click()
    {
        armed_ = true;
        timeout_.start(kLookupTimeoutMs);
        clickedAt_ = MonotonicNs();
        QTest::mouseClick(query_, Qt::LeftButton);
    }

    // The lookup is over when the result box holds the registrar's answer and the server box
    // names the registrar, whichever of the two is written last.
    void Check()
    {
        if (!armed_ || serverBox_->text() != server_ ||
            !resultBox_->toPlainText().contains(mark_)) {
            return;
        }
        const long long shownAt = MonotonicNs();
        armed_ = false;
        timeout_.stop();
        std::printf("lookup %d %lld %lld\n", done_, clickedAt_, shownAt);
        std::fflush(stdout);
        ++done_;
        // The next click waits for the write in progress to finish.
        QTimer::singleShot(0, this, [this] { NextClick(); });
    }

    whois::app::MainWindow& window_;
    int lookups_;
    bool stepped_;
    QString server_;
    QString mark_;
    QPushButton* query_;
    QLineEdit* serverBox_;
    QPlainTextEdit* resultBox_;
    QTimer timeout_;
    bool armed_ = false;
    int done_ = 0;
    int turns_ = 0;
    bool inputEnded_ = false;
    long long clickedAt_ = 0;
};

} // namespace

int main(int argc, char* argv[])
{
    const int lookups = std::atoi(Setting(argc, argv, 1, "WHOIS_PROBE_LOOKUPS", "1").c_str());
    const std::string query = Setting(argc, argv, 2, "WHOIS_PROBE_QUERY", "google.com");
    const std::string server =
        Setting(argc, argv, 3, "WHOIS_PROBE_SERVER", "whois.markmonitor.com");
    const std::string mark = Setting(argc, argv, 4, "WHOIS_PROBE_MARK", "MarkMonitor, Inc.");
    const bool stepped = Setting(argc, argv, argc, "WHOIS_PROBE_STEP", "0") == "1";
    if (lookups < 1) {
        std::fprintf(stderr, "window_lookup_probe: the number of lookups must be at least 1\n");
        return 2;
    }

    int programArgc = 1;
    bool driven = false;
    const int status =
        whois::app::RunProgram(programArgc, argv, [&](whois::app::MainWindow& window) {
            auto* driver =
                new LookupDriver(window, lookups, stepped, QString::fromStdString(server),
                                 QString::fromStdString(mark));
            if (!driver->Ready()) {
                std::fprintf(stderr, "window_lookup_probe: the window's controls are missing\n");
                window.close();
                return;
            }
            auto* queryBox = window.findChild<QLineEdit*>(QString::fromUtf8("编辑框2"));
            if (queryBox == nullptr) {
                std::fprintf(stderr, "window_lookup_probe: the query box is missing\n");
                window.close();
                return;
            }
            queryBox->clear();
            QTest::keyClicks(queryBox, QString::fromStdString(query));
            driven = true;
            driver->Start();
        });
    // Leaves without the exit handlers: the program's handler releases its lookup record
    // after that record's own destructor has run, which aborts once an answer was shown.
    std::fflush(stdout);
    std::_Exit(status != 0 ? status : (driven ? 0 : 1));
}
