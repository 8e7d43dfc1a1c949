// The program's real start-up and shutdown: the skin engine written and loaded, the window
// shown, the fatal error when the engine or the window cannot be loaded.
#include "Startup.h"
#include "EmbeddedFiles.h"
#include "FatalError.h"
#include "MainWindow.h"
#include "SkinInstaller.h"

#include "lookup/LookupState.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>

#include <unistd.h>

namespace whois::app {
namespace {

std::string ReadAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll().toStdString();
}

class StartupTest : public testing::Test {
  protected:
    StartupTest()
    {
        ::setenv("XDG_DATA_HOME", QFile::encodeName(home_.path()).constData(), 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    ~StartupTest() override { SetFatalErrorHook(nullptr); }

    QString DataFile(const char* name) const
    {
        return home_.path() + QStringLiteral("/whois-desktop/") + QLatin1String(name);
    }

    int Run(const ProgramHooks& hooks)
    {
        int argc = 1;
        char name[] = "whois-desktop";
        char* argv[] = {name, nullptr};
        return RunProgram(argc, argv, hooks);
    }
    int Run(const std::function<void(MainWindow&)>& onShown)
    {
        ProgramHooks hooks;
        hooks.onShown = onShown;
        return Run(hooks);
    }

    QTemporaryDir home_;
};

TEST_F(StartupTest, WritesAndAppliesTheSkinBeforeShowingTheWindow)
{
    bool shown = false;
    const int exitCode = Run([&](MainWindow& window) {
        shown = true;
        EXPECT_EQ(ReadAll(DataFile(kSkinLibraryName)), embedded::kSkinEngineLibrary);
        EXPECT_EQ(ReadAll(DataFile(kSkinFileName)), embedded::kSkinFile);
        EXPECT_FALSE(qApp->styleSheet().isEmpty()) << "the skin is applied";
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(window.windowTitle(), QStringLiteral("whois"));
        window.close();
    });
    EXPECT_TRUE(shown);
    EXPECT_EQ(exitCode, 0);
}

TEST_F(StartupTest, EngineThatCannotBeLoadedEndsStartUpWithTheFatalError)
{
    // A directory where the library belongs: it can be neither written nor loaded.
    ASSERT_TRUE(QDir().mkpath(DataFile(kSkinLibraryName)));
    QString caption;
    QString text;
    SetFatalErrorHook([&](const QString& c, const QString& t) {
        caption = c;
        text = t;
    });

    bool shown = false;
    const int exitCode = Run([&](MainWindow& window) {
        shown = true;
        window.close();
    });

    EXPECT_FALSE(shown);
    EXPECT_EQ(exitCode, kFatalExitCode);
    EXPECT_EQ(static_cast<unsigned char>(exitCode), 255);
    EXPECT_EQ(caption, QString::fromUtf8("错误"));
    EXPECT_EQ(text,
              QString::fromUtf8("运行时出错!\r\n\r\n错误信息：无法找到指定DLL库文件“jedata.dll”"
                                "中的输出命令“SkinH_AttachEx”\r\n"));
}

TEST_F(StartupTest, WindowThatCannotBeBuiltEndsStartUpWithTheFatalError)
{
    QString caption;
    QString text;
    SetFatalErrorHook([&](const QString& c, const QString& t) {
        caption = c;
        text = t;
    });
    ProgramHooks hooks;
    hooks.makeWindow = [](LookupState&) -> std::unique_ptr<MainWindow> {
        throw std::runtime_error("no window");
    };
    bool shown = false;
    hooks.onShown = [&](MainWindow& window) {
        shown = true;
        window.close();
    };

    const int exitCode = Run(hooks);

    EXPECT_FALSE(shown);
    EXPECT_EQ(static_cast<unsigned char>(exitCode), 255);
    EXPECT_EQ(caption, QString::fromUtf8("错误"));
    EXPECT_EQ(text, QString::fromUtf8("运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n"));
}

TEST_F(StartupTest, RelativeDataHomeIsIgnored)
{
    // A relative XDG_DATA_HOME would name a directory beside the program.
    const QByteArray relative = "relative-data-" + QByteArray::number(::getpid());
    const QByteArray savedHome = qgetenv("HOME");
    ::setenv("XDG_DATA_HOME", relative.constData(), 1);
    ::setenv("HOME", QFile::encodeName(home_.path()).constData(), 1);

    QString programDirectory;
    const int exitCode = Run([&](MainWindow& window) {
        programDirectory = QApplication::applicationDirPath();
        window.close();
    });
    ::setenv("HOME", savedHome.constData(), 1);

    EXPECT_EQ(exitCode, 0);
    const QString data = home_.path() + QStringLiteral("/.local/share/whois-desktop/");
    EXPECT_TRUE(ReadAll(data + QLatin1String(kSkinLibraryName)) == embedded::kSkinEngineLibrary);
    EXPECT_TRUE(ReadAll(data + QLatin1String(kSkinFileName)) == embedded::kSkinFile);
    ASSERT_FALSE(programDirectory.isEmpty());
    const QDir besideProgram(programDirectory);
    EXPECT_FALSE(besideProgram.exists(QString::fromLatin1(relative)));
    QDir(besideProgram.filePath(QString::fromLatin1(relative))).removeRecursively();
}

TEST(ReleaseLookupStateTest, EmptiesEveryTextAndMayRunAgain)
{
    LookupState state{"a", "b", "c", "d", "e", "f", 1};
    ReleaseLookupState(state);
    ReleaseLookupState(state);
    for (const Text* text : {&state.currentServer, &state.previousServer, &state.referralServer,
                             &state.resultText, &state.previousResultText, &state.savedQueryText}) {
        EXPECT_TRUE(text->empty());
    }
    EXPECT_EQ(state.followUpPending, 0);
}

} // namespace
} // namespace whois::app
