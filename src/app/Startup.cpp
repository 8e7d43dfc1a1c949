#include "Startup.h"

#include "FatalError.h"
#include "MainWindow.h"
#include "QtEventLoop.h"
#include "SkinInstaller.h"
#include "lookup/LookupState.h"
#include "net/SystemResolver.h"

#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTimer>

#include <cstdlib>

namespace whois::app {
namespace {

QString MissingSkinEntryMessage()
{
    return QString::fromUtf8("无法找到指定DLL库文件“%1”中的输出命令“%2”")
        .arg(QLatin1String(kSkinLibraryName), QLatin1String(kSkinEntryName));
}

// The lookup's record, kept for the whole run; its texts are released by the exit routine.
LookupState& ProgramLookupState()
{
    static LookupState state;
    return state;
}

void ReleaseProgramLookupState()
{
    ReleaseLookupState(ProgramLookupState());
}

} // namespace

int RunProgram(int& argc, char** argv, const std::function<void(MainWindow&)>& onShown)
{
    // Declared first so that it is unloaded last, after the application is gone.
    SkinEngine skin;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("whois-desktop"));
    QDir::setCurrent(QApplication::applicationDirPath());
    std::atexit(ReleaseProgramLookupState);

    const QString dataDirectory =
        QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (!InstallSkin(dataDirectory, skin)) {
        ShowFatalError(MissingSkinEntryMessage());
        return kFatalExitCode;
    }

    // Names are looked up on worker threads; results come back through the window's Qt loop.
    QtEventLoop resolverLoop;
    SystemResolver resolver(resolverLoop);
    MainWindow window(ProgramLookupState(), resolver);
    window.show();
    if (onShown) {
        QTimer::singleShot(0, &window, [&window, &onShown] { onShown(window); });
    }
    return QApplication::exec();
}

} // namespace whois::app
