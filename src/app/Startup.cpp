#include "Startup.h"

#include "FatalError.h"
#include "MainWindow.h"
#include "SkinInstaller.h"

#include <QApplication>
#include <QDir>
#include <QStandardPaths>

namespace whois::app {
namespace {

QString MissingSkinEntryMessage()
{
    return QString::fromUtf8("无法找到指定DLL库文件“%1”中的输出命令“%2”")
        .arg(QLatin1String(kSkinLibraryName), QLatin1String(kSkinEntryName));
}

} // namespace

int RunProgram(int& argc, char** argv)
{
    // Declared first so that it is unloaded last, after the application is gone.
    SkinEngine skin;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("whois-desktop"));
    QApplication::setApplicationDisplayName(QStringLiteral("whois"));
    QDir::setCurrent(QApplication::applicationDirPath());

    const QString dataDirectory =
        QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (!InstallSkin(dataDirectory, skin)) {
        ShowFatalError(MissingSkinEntryMessage());
        return kFatalExitCode;
    }

    MainWindow window;
    window.show();
    return QApplication::exec();
}

} // namespace whois::app
