// The real window on the offscreen platform, driven by name as a person would drive it,
// against whois servers on loopback addresses.
#include "MainWindow.h"
#include "EmbeddedFiles.h"
#include "QtEventLoop.h"
#include "ResultBox.h"
#include "SkinInstaller.h"

#include "lookup/LookupState.h"
#include "net/SystemResolver.h"
#include "support/FullBacklogListener.h"
#include "support/LoopbackWhoisServer.h"
#include "support/MapResolver.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <algorithm>
#include <thread>

#include <memory>

using namespace std::chrono_literals;
using whois::test::Answer;
using whois::test::ConnectionScript;
using whois::test::LoopbackWhoisServer;

namespace whois::app {

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void controlsSitWhereTheyBelong_data();
    void controlsSitWhereTheyBelong();
    void windowCannotBeResized();
    void queryShowsServerAndRegistrarsAnswer();
    void copyButtonsFillTheClipboard();
    void contentChangedOncePerWriteAndPerEdit();
    void typingInTheResultBoxNeverStartsAQuery();
    void overlongLinesAreShownInPieces();
    void manyShortLinesCopyExactly_data();
    void manyShortLinesCopyExactly();
    void manyLinesLookAsOneParagraphEach();
    void closingTheWindowClosesTheOpenConnection();
    void busyPointerWhileALookupRuns();
    void failedLookupNamesEachServerAndWhy();
    void windowAnswersWhileANameTakesLongToResolve();
    void windowAnswersWhileAConnectionHangs();
    void skinnedSelectionShowsOnlyWithFocus();
    void pastedSiteKeepsOnlyItsLine();

  private:
    template <typename Control> Control* Find(const char* name) const
    {
        auto* control = window_->findChild<Control*>(QString::fromUtf8(name));
        if (control == nullptr) {
            qFatal("no control named %s", name);
        }
        return control;
    }

    void MakeWindow(std::uint16_t port);
    void MakeWindow(std::uint16_t port, Resolver& resolver);
    // The longest pause between ticks of a 10 ms timer while `during` runs `span` long.
    std::chrono::milliseconds LongestPause(std::chrono::milliseconds span);

    LookupState state_;
    test::MapResolver resolver_;
    std::unique_ptr<MainWindow> window_;
};

void MainWindowTest::init()
{
    state_ = LookupState();
    resolver_ = test::MapResolver();
    resolver_.Add("com.whois-servers.net", "127.0.0.1");
    resolver_.Add("whois.registrar.test", "127.0.0.2");
}

void MainWindowTest::cleanup()
{
    window_.reset();
}

void MainWindowTest::MakeWindow(std::uint16_t port)
{
    MakeWindow(port, resolver_);
}

void MainWindowTest::MakeWindow(std::uint16_t port, Resolver& resolver)
{
    Lookup::Limits limits;
    limits.whoisPort = port;
    window_ = std::make_unique<MainWindow>(state_, resolver, limits);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void MainWindowTest::controlsSitWhereTheyBelong_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("caption");

    const auto row = [](const char* name, QRect geometry, const char* caption) {
        QTest::newRow(name) << QString::fromUtf8(name) << geometry << QString::fromUtf8(caption);
    };
    row("标签1", {8, 16, 72, 24}, "whois服务器");
    row("编辑框1", {88, 16, 272, 24}, "");
    row("按钮2", {360, 16, 112, 24}, "复制whois服务器");
    row("标签2", {24, 56, 72, 16}, "查询网站");
    row("编辑框2", {88, 52, 384, 24}, "");
    row("标签3", {24, 88, 56, 16}, "查询结果");
    row("超级编辑框1", {88, 88, 384, 168}, "");
    row("按钮3", {16, 112, 64, 144}, "复制查询结果");
    row("按钮1", {488, 88, 72, 168}, "查询");
    row("按钮4", {480, 8, 80, 64}, "勿点");
}

void MainWindowTest::controlsSitWhereTheyBelong()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);
    MakeWindow(43);

    auto* control = window_->findChild<QWidget*>(name);
    QVERIFY(control != nullptr);
    QCOMPARE(control->geometry(), geometry);
    QString shown;
    if (auto* label = qobject_cast<QLabel*>(control)) {
        shown = label->text();
    } else if (auto* button = qobject_cast<QPushButton*>(control)) {
        shown = button->text().remove(QLatin1Char('\n'));
    } else if (auto* line = qobject_cast<QLineEdit*>(control)) {
        shown = line->text();
    }
    QCOMPARE(shown, caption);
}

void MainWindowTest::windowCannotBeResized()
{
    MakeWindow(43);
    QCOMPARE(window_->windowTitle(), QStringLiteral("whois"));
    QCOMPARE(window_->size(), QSize(560, 270));
    QCOMPARE(window_->minimumSize(), window_->maximumSize());
    QVERIFY(!(window_->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(window_->windowFlags() & Qt::WindowMinimizeButtonHint);
    window_->resize(800, 600);
    QCOMPARE(window_->size(), QSize(560, 270));
    const QPoint offCentre =
        window_->geometry().center() - window_->screen()->availableGeometry().center();
    // Centred within the thickness of the frame the window system adds.
    const QPoint frame = window_->geometry().topLeft() - window_->pos();
    QVERIFY2(offCentre.manhattanLength() <= frame.manhattanLength() + 2,
             "the window opens centred");
    QVERIFY(!Find<QLineEdit>("编辑框1")->isEnabled());
}

void MainWindowTest::queryShowsServerAndRegistrarsAnswer()
{
    // UTF-8 on the wire, Chinese shown as such in the window.
    const std::string registry = "Domain Name: EXAMPLE.COM\r\n"
                                 "\xE6\xB3\xA8\xE5\x86\x8C\xE5\x95\x86: Example\r\n" +
                                 std::string(200, '-') +
                                 "\r\nRegistrar WHOIS Server: whois.registrar.test\r\n";
    const std::string registrar = "Registrant: \xE4\xB8\xAD\xE6\x96\x87\n" + std::string(150, '=');
    LoopbackWhoisServer registryServer({Answer(registry)}, 0, 30s, "127.0.0.1");
    LoopbackWhoisServer registrarServer({Answer(registrar)}, registryServer.Port(), 30s,
                                        "127.0.0.2");
    QVERIFY(registrarServer.Listening());
    MakeWindow(registryServer.Port());

    QTest::keyClicks(Find<QLineEdit>("编辑框2"), QStringLiteral("https://www.Example.com/x"));
    QTest::mouseClick(Find<QPushButton>("按钮1"), Qt::LeftButton);

    auto* server = Find<QLineEdit>("编辑框1");
    auto* result = Find<ResultBox>("超级编辑框1");
    QTRY_COMPARE_WITH_TIMEOUT(server->text(), QStringLiteral("whois.registrar.test"), 5000);
    QCOMPARE(result->toPlainText(), QString::fromUtf8(registrar.c_str()));
    QCOMPARE(registryServer.Received(0), std::string("example.com\r\n"));
    QCOMPARE(registrarServer.Received(0), std::string("example.com\r\n"));
}

void MainWindowTest::copyButtonsFillTheClipboard()
{
    LoopbackWhoisServer registryServer({Answer("Domain: example.com\r\n")}, 0, 30s, "127.0.0.1");
    MakeWindow(registryServer.Port());
    QClipboard* clipboard = QGuiApplication::clipboard();

    clipboard->setText(QStringLiteral("earlier content"));
    QTest::mouseClick(Find<QPushButton>("按钮2"), Qt::LeftButton);
    QCOMPARE(clipboard->text(), QString());

    QTest::keyClicks(Find<QLineEdit>("编辑框2"), QStringLiteral("example.com"));
    QTest::mouseClick(Find<QPushButton>("按钮1"), Qt::LeftButton);
    auto* result = Find<ResultBox>("超级编辑框1");
    QTRY_VERIFY_WITH_TIMEOUT(!result->toPlainText().isEmpty(), 5000);

    QTest::mouseClick(Find<QPushButton>("按钮2"), Qt::LeftButton);
    QCOMPARE(clipboard->text(), QStringLiteral("com.whois-servers.net"));

    result->moveCursor(QTextCursor::End);
    QTest::keyClicks(result, QStringLiteral(" checked"));
    QTest::mouseClick(Find<QPushButton>("按钮3"), Qt::LeftButton);
    QVERIFY(clipboard->text().startsWith(QStringLiteral("Domain: example.com")));
    QVERIFY(clipboard->text().endsWith(QStringLiteral(" checked")));
}

void MainWindowTest::contentChangedOncePerWriteAndPerEdit()
{
    MakeWindow(43);
    auto* result = Find<ResultBox>("超级编辑框1");
    QSignalSpy changes(result, &ResultBox::ContentChanged);
    QCOMPARE(changes.count(), 0);

    result->WriteContent(QStringLiteral("same"));
    result->WriteContent(QStringLiteral("same"));
    QCOMPARE(changes.count(), 2);

    result->setFocus();
    result->moveCursor(QTextCursor::End);
    QTest::keyClicks(result, QStringLiteral("ab"));
    QCOMPARE(changes.count(), 4);
    QTest::keyClick(result, Qt::Key_Backspace);
    QCOMPARE(changes.count(), 5);
    QCOMPARE(result->toPlainText(), QStringLiteral("samea"));
}

void MainWindowTest::typingInTheResultBoxNeverStartsAQuery()
{
    LoopbackWhoisServer registryServer({Answer("Registrar WHOIS Server: whois.registrar.test\r\n")},
                                       0, 30s, "127.0.0.1");
    MakeWindow(registryServer.Port());
    Find<QLineEdit>("编辑框2")->setText(QStringLiteral("example.com"));

    auto* result = Find<ResultBox>("超级编辑框1");
    result->setFocus();
    QTest::keyClicks(result, QStringLiteral("Whois Server: whois.registrar.test"));
    QTest::keyClick(result, Qt::Key_Return);
    QTest::qWait(200);
    QCOMPARE(registryServer.ConnectionCount(), std::size_t{0});
    QCOMPARE(Find<QLineEdit>("编辑框1")->text(), QString());
}

void MainWindowTest::overlongLinesAreShownInPieces()
{
    // One line of 100,000 characters, as a hostile server might send: laid out whole it would
    // take the window minutes.
    MakeWindow(43);
    auto* result = Find<ResultBox>("超级编辑框1");
    const QString line(100000, QLatin1Char('x'));
    const QString answer = QStringLiteral("Domain: example.com\r\n") + line + QStringLiteral("\n");
    result->WriteContent(answer);

    const QTextDocument* document = result->document();
    int longest = 0;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        longest = std::max(longest, block.length() - 1);
    }
    QCOMPARE(longest, 8192);
    QCOMPARE(result->toPlainText().remove(QLatin1Char('\n')),
             QString(answer).remove(QLatin1Char('\n')).remove(QLatin1Char('\r')));

    const QString ordinary = QStringLiteral("Domain: example.com\nRegistrar: Example\n");
    result->WriteContent(ordinary);
    QCOMPARE(result->toPlainText(), ordinary);
}

void MainWindowTest::manyShortLinesCopyExactly_data()
{
    QTest::addColumn<QString>("answer");
    const qsizetype size = qsizetype{4} << 20;
    QTest::newRow("4 MiB of empty lines") << QString(size, QLatin1Char('\n'));
    QTest::newRow("4 MiB of one-letter lines") << QStringLiteral("a\n").repeated(size / 2);
    const QString answerLines = QString::fromUtf8("Domain Name: EXAMPLE.COM\r\n"
                                                  "Name Server: A.IANA-SERVERS.NET\r\n\r\n"
                                                  "注册商\r");
    QTest::newRow("4 MiB of answer lines") << answerLines.repeated(size / 64);
}

void MainWindowTest::manyShortLinesCopyExactly()
{
    QFETCH(QString, answer);
    MakeWindow(43);
    auto* result = Find<ResultBox>("超级编辑框1");
    QSignalSpy changes(result, &ResultBox::ContentChanged);
    result->WriteContent(answer);
    QCOMPARE(changes.count(), 1);
    // A paragraph per line would take half a gigabyte and seconds to build.
    QVERIFY2(result->document()->blockCount() <= 4096, "lines share paragraphs");

    QString expected = answer;
    expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QClipboard* clipboard = QGuiApplication::clipboard();
    QTest::mouseClick(Find<QPushButton>("按钮3"), Qt::LeftButton);
    QVERIFY(clipboard->text() == expected);

    result->setFocus();
    result->moveCursor(QTextCursor::End);
    QTest::keyClicks(result, QStringLiteral("end"));
    result->moveCursor(QTextCursor::Start);
    QTest::keyClicks(result, QStringLiteral("start"));
    QTest::keyClick(result, Qt::Key_Return);
    QTest::mouseClick(Find<QPushButton>("按钮3"), Qt::LeftButton);
    QVERIFY(clipboard->text() == QStringLiteral("start\n") + expected + QStringLiteral("end"));
}

void MainWindowTest::manyLinesLookAsOneParagraphEach()
{
    QStringList lines;
    for (int i = 0; i < 5000; ++i) {
        lines << (i % 4 == 3 ? QString() : QStringLiteral("Name Server %1: NS.EXAMPLE.COM").arg(i));
    }
    const QString answer = lines.join(QLatin1Char('\n'));
    MakeWindow(43);
    auto* result = Find<ResultBox>("超级编辑框1");
    const auto shown = [result] { return result->viewport()->grab().toImage(); };
    const QImage blank = shown();

    result->WriteContent(answer);
    QVERIFY(result->document()->blockCount() < lines.size());
    const QImage grouped = shown();
    QVERIFY(grouped != blank);
    result->setPlainText(answer);
    QCOMPARE(result->document()->blockCount(), lines.size());
    QCOMPARE(shown(), grouped);
}

void MainWindowTest::busyPointerWhileALookupRuns()
{
    ConnectionScript held = Answer("Domain: example.com\r\n");
    held.segments[0].awaitRelease = true;
    LoopbackWhoisServer registryServer({held}, 0, 30s, "127.0.0.1");
    MakeWindow(registryServer.Port());
    auto* button = Find<QPushButton>("按钮1");
    Find<QLineEdit>("编辑框2")->setText(QStringLiteral("example.com"));
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(window_->cursor().shape(), Qt::BusyCursor);
    QTRY_VERIFY_WITH_TIMEOUT(registryServer.Connection(0).requestLineSeen, 5000);
    QCOMPARE(window_->cursor().shape(), Qt::BusyCursor);
    registryServer.Release();
    QTRY_COMPARE_WITH_TIMEOUT(window_->cursor().shape(), Qt::ArrowCursor, 5000);
    QCOMPARE(Find<ResultBox>("超级编辑框1")->toPlainText(),
             QStringLiteral("Domain: example.com\n"));

    QCOMPARE(window_->cursor().shape(), Qt::ArrowCursor);
    window_->ShowBusy(true);
    QCOMPARE(window_->cursor().shape(), Qt::BusyCursor);
    QCOMPARE(button->cursor().shape(), Qt::BusyCursor);
    window_->ShowBusy(true);
    window_->ShowBusy(false);
    QCOMPARE(window_->cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(button->cursor().shape(), Qt::ArrowCursor);
}

void MainWindowTest::failedLookupNamesEachServerAndWhy()
{
    LoopbackWhoisServer registryServer({Answer("Domain: example.com\r\n")}, 0, 30s, "127.0.0.1");
    MakeWindow(registryServer.Port());
    auto* query = Find<QLineEdit>("编辑框2");
    auto* result = Find<ResultBox>("超级编辑框1");
    query->setText(QStringLiteral("example.com"));
    QTest::mouseClick(Find<QPushButton>("按钮1"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(result->toPlainText(), QStringLiteral("Domain: example.com\n"), 5000);

    // Neither the directory's server for .org nor IANA's resolves: the earlier answer goes.
    query->setText(QStringLiteral("example.org"));
    QTest::mouseClick(Find<QPushButton>("按钮1"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(result->toPlainText(),
                              QString::fromUtf8("org.whois-servers.net: 找不到该服务器名称\n"
                                                "whois.iana.org: 找不到该服务器名称\n"),
                              5000);
    QCOMPARE(Find<QLineEdit>("编辑框1")->text(), QStringLiteral("whois.iana.org"));
    QCOMPARE(window_->cursor().shape(), Qt::ArrowCursor);
}

std::chrono::milliseconds MainWindowTest::LongestPause(std::chrono::milliseconds span)
{
    using Clock = std::chrono::steady_clock;
    QTimer ticker;
    auto last = Clock::now();
    Clock::duration longest{};
    connect(&ticker, &QTimer::timeout, this, [&] {
        const auto now = Clock::now();
        longest = std::max(longest, now - last);
        last = now;
    });
    ticker.start(10);
    QTest::qWait(static_cast<int>(span.count()));
    ticker.stop();
    longest = std::max(longest, Clock::now() - last);
    return std::chrono::duration_cast<std::chrono::milliseconds>(longest);
}

void MainWindowTest::windowAnswersWhileANameTakesLongToResolve()
{
    // The system's lookup of the registry's name takes 5 s, as with a name server that is slow
    // to answer.
    QtEventLoop resolverLoop;
    SystemResolver slow(resolverLoop, [](const std::string&) {
        std::this_thread::sleep_for(5s);
        return ResolveResult{{}, ConnectFailure::ResolverFailed};
    });
    MakeWindow(43, slow);
    Find<QLineEdit>("编辑框2")->setText(QStringLiteral("example.com"));
    QTest::mouseClick(Find<QPushButton>("按钮1"), Qt::LeftButton);
    QCOMPARE(window_->cursor().shape(), Qt::BusyCursor);

    QVERIFY(LongestPause(1000ms) < 100ms);
    // A new click and a close are taken at once, too.
    QTest::mouseClick(Find<QPushButton>("按钮1"), Qt::LeftButton);
    QVERIFY(LongestPause(300ms) < 100ms);
    const auto closing = std::chrono::steady_clock::now();
    window_.reset();
    QVERIFY(std::chrono::steady_clock::now() - closing < 100ms);
}

void MainWindowTest::windowAnswersWhileAConnectionHangs()
{
    test::FullBacklogListener hanging;
    if (!hanging.Full()) {
        QSKIP("the kernel did not let the listener's queue fill");
    }
    MakeWindow(hanging.Port());
    Find<QLineEdit>("编辑框2")->setText(QStringLiteral("example.com"));
    QTest::mouseClick(Find<QPushButton>("按钮1"), Qt::LeftButton);

    QVERIFY(LongestPause(1000ms) < 100ms);
    const auto closing = std::chrono::steady_clock::now();
    window_.reset();
    QVERIFY(std::chrono::steady_clock::now() - closing < 100ms);
}

void MainWindowTest::closingTheWindowClosesTheOpenConnection()
{
    ConnectionScript held = Answer("Domain: example.com\r\n");
    held.segments[0].awaitRelease = true;
    LoopbackWhoisServer registryServer({held}, 0, 30s, "127.0.0.1");
    MakeWindow(registryServer.Port());
    Find<QLineEdit>("编辑框2")->setText(QStringLiteral("example.com"));
    QTest::mouseClick(Find<QPushButton>("按钮1"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(registryServer.Connection(0).requestLineSeen, 5000);

    window_.reset();
    registryServer.Release();
    QTRY_VERIFY_WITH_TIMEOUT(registryServer.Connection(0).clientClosed, 5000);
    QTest::qWait(100); // nothing may run for the destroyed window's connection
}

// The skin's accent colour, which it gives selections (and the focused box's border).
QColor SkinAccent()
{
    const QString skin = QString::fromUtf8(embedded::kSkinFile.data(),
                                           static_cast<qsizetype>(embedded::kSkinFile.size()));
    const QRegularExpression accent(QStringLiteral("^accent = (#[0-9a-f]{6})$"),
                                    QRegularExpression::MultilineOption);
    return QColor(accent.match(skin).captured(1));
}

// Pixels of `colour` inside the widget's frame.
int PixelsOfColour(QWidget* widget, QColor colour)
{
    const QImage image = widget->grab(widget->rect().adjusted(3, 3, -3, -3)).toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += image.pixelColor(x, y) == colour ? 1 : 0;
        }
    }
    return count;
}

void MainWindowTest::skinnedSelectionShowsOnlyWithFocus()
{
    QTemporaryDir skinDirectory;
    SkinEngine skin;
    QVERIFY(InstallSkin(skinDirectory.path(), skin));
    MakeWindow(43);
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));

    auto* result = Find<ResultBox>("超级编辑框1");
    result->WriteContent(QStringLiteral("Domain Name: EXAMPLE.COM\nRegistrar: Example"));
    result->setFocus();
    result->selectAll();
    QTRY_VERIFY(result->hasFocus());
    const QColor highlight = SkinAccent();
    const int focused = PixelsOfColour(result, highlight);

    Find<QLineEdit>("编辑框2")->setFocus();
    QTRY_VERIFY(!result->hasFocus());
    const int unfocused = PixelsOfColour(result, highlight);

    window_.reset();
    qApp->setStyleSheet(QString());
    QVERIFY2(focused > 100, "the selection shows while the box has the focus");
    QCOMPARE(unfocused, 0);
}

void MainWindowTest::pastedSiteKeepsOnlyItsLine()
{
    LoopbackWhoisServer registryServer({Answer("Domain: example.com\r\n")}, 0, 30s, "127.0.0.1");
    MakeWindow(registryServer.Port());
    auto* queryBox = Find<QLineEdit>("编辑框2");
    QGuiApplication::clipboard()->setText(QStringLiteral("\r\nwww.example.com\r\nsecond line\n"));
    queryBox->setFocus();
    QTest::keySequence(queryBox, QKeySequence::Paste);
    QCOMPARE(queryBox->text(), QStringLiteral("www.example.com"));

    QTest::mouseClick(Find<QPushButton>("按钮1"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(Find<QLineEdit>("编辑框1")->text(),
                              QStringLiteral("com.whois-servers.net"), 5000);
    QCOMPARE(registryServer.Received(0), std::string("example.com\r\n"));
}

} // namespace whois::app

QTEST_MAIN(whois::app::MainWindowTest)
#include "MainWindowTest.moc"
