// Makes the README's picture: the real, skinned window after a real lookup of a web address,
// answered by loopback whois servers that replay a registry's and a registrar's real answers.
// Usage: window_screenshot <samples directory> <output.png>
#include "MainWindow.h"
#include "SkinInstaller.h"

#include "lookup/LookupState.h"
#include "support/LoopbackWhoisServer.h"
#include "support/MapResolver.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace std::chrono_literals;

namespace {

std::string ReadSample(const QString& directory, const char* name)
{
    QFile file(directory + QLatin1Char('/') + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", name);
        return {};
    }
    return file.readAll().toStdString();
}

} // namespace

int main(int argc, char* argv[])
{
    using namespace whois;
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: window_screenshot <samples directory> <output.png>\n");
        return 2;
    }
    const QString samples = QString::fromLocal8Bit(argv[1]);
    const QString output = QString::fromLocal8Bit(argv[2]);

    QTemporaryDir skinDirectory;
    app::SkinEngine skin;
    if (!app::InstallSkin(skinDirectory.path(), skin)) {
        std::fprintf(stderr, "the skin engine could not be loaded\n");
        return 1;
    }

    test::LoopbackWhoisServer registry(
        {test::Answer(ReadSample(samples, "whois.verisign-grs.com__google.com.txt"))}, 0, 60s,
        "127.0.0.1");
    test::LoopbackWhoisServer registrar(
        {test::Answer(ReadSample(samples, "whois.markmonitor.com__google.com.txt"))},
        registry.Port(), 60s, "127.0.0.2");
    test::MapResolver resolver{{"com.whois-servers.net", "127.0.0.1"},
                               {"whois.markmonitor.com", "127.0.0.2"}};

    LookupState state;
    Lookup::Limits limits;
    limits.whoisPort = registry.Port();
    app::MainWindow window(state, resolver, limits);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        return 1;
    }

    auto* queryBox = window.findChild<QLineEdit*>(QString::fromUtf8("编辑框2"));
    auto* serverBox = window.findChild<QLineEdit*>(QString::fromUtf8("编辑框1"));
    QTest::keyClicks(queryBox, QStringLiteral("https://www.google.com/"));
    QTest::mouseClick(window.findChild<QPushButton*>(QString::fromUtf8("按钮1")), Qt::LeftButton);

    QElapsedTimer waited;
    waited.start();
    while (serverBox->text() != QLatin1String("whois.markmonitor.com") &&
           waited.elapsed() < 10000) {
        QTest::qWait(20);
    }
    if (serverBox->text() != QLatin1String("whois.markmonitor.com")) {
        std::fprintf(stderr, "the lookup did not finish\n");
        return 1;
    }
    QTest::qWait(200);
    if (!window.grab().save(output)) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
