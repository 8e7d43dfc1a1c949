#include "Startup.h"

#include "FatalError.h"
#include "MainWindow.h"
#include "QtEventLoop.h"
#include "SkinInstaller.h"
#include "lookup/LookupState.h"
#include "net/SystemResolver.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <cstdlib>
#include <exception>

namespace whois::app {
namespace {

QString MissingSkinEntryMessage()
{
    return QString::fromUtf8("无法找到指定DLL库文件“%1”中的输出命令“%2”")
        .arg(QLatin1String(kSkinLibraryName), QLatin1String(kSkinEntryName));
}

QString WindowNotBuiltMessage()
{
    return QString::fromUtf8("载入启动窗口失败");
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

// Registers the exit routine once. The record is built first: routines registered after an
// object is built run before its destructor, so the texts are released once, by the routine.
void RegisterExitRoutine()
{
    static const bool registered = [] {
        ProgramLookupState();
        return std::atexit(ReleaseProgramLookupState) == 0;
    }();
    static_cast<void>(registered);
}

std::unique_ptr<MainWindow> MakeWindow(const ProgramHooks& hooks, Resolver& resolver)
{
    if (hooks.makeWindow) {
        return hooks.makeWindow(ProgramLookupState());
    }
    return std::make_unique<MainWindow>(ProgramLookupState(), resolver);
}

} // namespace

int RunProgram(int& argc, char** argv, const std::function<void(MainWindow&)>& onShown)
{
    ProgramHooks hooks;
    hooks.onShown = onShown;
    return RunProgram(argc, argv, hooks);
}

int RunProgram(int& argc, char** argv, const ProgramHooks& hooks)
{
    // Declared first so that it is unloaded last, after the application is gone.
    SkinEngine skin;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("whois-desktop"));
    QDir::setCurrent(QApplication::applicationDirPath());
    RegisterExitRoutine();

    if (!InstallSkin(SkinDirectory(), skin)) {
        ShowFatalError(MissingSkinEntryMessage());
        return kFatalExitCode;
    }

    // Names are looked up on worker threads; results come back through the window's Qt loop.
    QtEventLoop resolverLoop;
    SystemResolver resolver(resolverLoop);
    std::unique_ptr<MainWindow> window;
    try {
        window = MakeWindow(hooks, resolver);
    } catch (...) {
        // Shown below as the window that could not be loaded.
    }
    if (!window) {
        ShowFatalError(WindowNotBuiltMessage());
        return kFatalExitCode;
    }
    window->show();
    if (hooks.onShown) {
        MainWindow* shown = window.get();
        QTimer::singleShot(0, shown, [shown, &hooks] { hooks.onShown(*shown); });
    }
    return QApplication::exec();
}

} // namespace whois::app
