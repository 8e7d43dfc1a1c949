// How long the window is blocked showing a large answer, and the memory it takes: decoding,
// writing the result box and painting it once, then copying it back out. One answer shape
// per run, so the peak memory is that shape's alone.
//   result_box_probe empty-lines|short-lines|real|long-line|ordinary
#include "Cp936Text.h"
#include "MainWindow.h"
#include "QtEventLoop.h"
#include "ResultBox.h"

#include "lookup/LookupState.h"
#include "net/SystemResolver.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstring>
#include <string>

#include <sys/resource.h>

namespace {

constexpr std::size_t kAnswerBytes = std::size_t{4} << 20;

const char kRealAnswer[] =
    "Domain Name: EXAMPLE.COM\r\n"
    "Registry Domain ID: 2336799_DOMAIN_COM-VRSN\r\n"
    "Registrar WHOIS Server: whois.iana.org\r\n"
    "Registrar URL: http://res-dom.iana.org\r\n"
    "Updated Date: 2024-08-14T07:01:34Z\r\n"
    "Creation Date: 1995-08-14T04:00:00Z\r\n"
    "Registry Expiry Date: 2025-08-13T04:00:00Z\r\n"
    "Registrar: RESERVED-Internet Assigned Numbers Authority\r\n"
    "Registrar IANA ID: 376\r\n"
    "Domain Status: clientDeleteProhibited https://icann.org/epp#clientDeleteProhibited\r\n"
    "Name Server: A.IANA-SERVERS.NET\r\n"
    "Name Server: B.IANA-SERVERS.NET\r\n"
    "DNSSEC: signedDelegation\r\n"
    "\r\n";

std::string Repeated(const std::string& unit, std::size_t size)
{
    std::string answer;
    answer.reserve(size);
    while (answer.size() + unit.size() <= size) {
        answer += unit;
    }
    return answer;
}

std::string Answer(const char* shape)
{
    if (std::strcmp(shape, "empty-lines") == 0) {
        return std::string(kAnswerBytes, '\n');
    }
    if (std::strcmp(shape, "short-lines") == 0) {
        return Repeated("a\n", kAnswerBytes);
    }
    if (std::strcmp(shape, "real") == 0) {
        return Repeated(kRealAnswer, kAnswerBytes);
    }
    if (std::strcmp(shape, "long-line") == 0) {
        return std::string(kAnswerBytes, 'x');
    }
    return kRealAnswer;
}

long PeakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char* argv[])
{
    const char* shape = argc > 1 ? argv[1] : "ordinary";
    QApplication app(argc, argv);
    whois::LookupState state;
    whois::app::QtEventLoop resolverLoop;
    whois::SystemResolver resolver(resolverLoop);
    whois::app::MainWindow window(state, resolver, whois::Lookup::Limits{});
    window.show();
    QApplication::processEvents();
    auto* box = window.findChild<whois::app::ResultBox*>(QString::fromUtf8("超级编辑框1"));

    const std::string answer = Answer(shape);
    const long before = PeakKilobytes();
    QElapsedTimer timer;
    timer.start();
    const QString decoded = whois::app::FromCp936(answer);
    const qint64 decodeMs = timer.restart();
    box->WriteContent(decoded);
    const qint64 writeMs = timer.restart();
    window.repaint();
    QApplication::processEvents();
    const qint64 paintMs = timer.restart();
    const QString copied = box->toPlainText();
    const qint64 copyMs = timer.restart();
    box->moveCursor(QTextCursor::End);
    window.repaint();
    QApplication::processEvents();
    const qint64 endMs = timer.elapsed();

    std::printf(
        "%-12s bytes %zu  decode %lld ms  write %lld ms  paint %lld ms  blocked %lld ms  "
        "copy %lld ms  to end %lld ms  blocks %d  peak %ld MB (before write %ld MB)  copy %s\n",
        shape, answer.size(), static_cast<long long>(decodeMs), static_cast<long long>(writeMs),
        static_cast<long long>(paintMs), static_cast<long long>(decodeMs + writeMs + paintMs),
        static_cast<long long>(copyMs), static_cast<long long>(endMs),
        box->document()->blockCount(), PeakKilobytes() / 1024, before / 1024,
        copied == QString(decoded).replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
            ? "exact"
            : "differs");
    return 0;
}
