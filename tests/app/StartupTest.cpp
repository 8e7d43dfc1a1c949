// The program's real start-up and shutdown: the skin engine written and loaded, the window
// shown, the fatal error when the engine cannot be loaded.
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
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

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

ino_t InodeOf(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
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

    int Run(const std::function<void(MainWindow&)>& onShown)
    {
        int argc = 1;
        char name[] = "whois-desktop";
        char* argv[] = {name, nullptr};
        return RunProgram(argc, argv, onShown);
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

TEST(SkinEngineTest, RefusesLibrariesWithoutTheEntryPointOrByBareName)
{
    SkinEngine engine;
    EXPECT_FALSE(engine.Load(QStringLiteral("libm.so.6"))) << "never through the search path";
    EXPECT_FALSE(engine.Load(QStringLiteral("/nonexistent/jedata.dll")));
    const QString libm = QStringLiteral("/lib/x86_64-linux-gnu/libm.so.6");
    if (QFile::exists(libm)) {
        EXPECT_FALSE(engine.Load(libm)) << "a library without the entry point";
    }
    EXPECT_EQ(engine.Attach(QStringLiteral("/nonexistent/win8.she")), 0);
}

TEST(WriteFileAtomicallyTest, ReplacesByRenameAndLeavesIdenticalFilesAlone)
{
    QTemporaryDir directory;
    const QString path = directory.filePath(QStringLiteral("jedata.dll"));

    ASSERT_TRUE(WriteFileAtomically(path, "first"));
    EXPECT_EQ(ReadAll(path), "first");
    const ino_t first = InodeOf(path);

    ASSERT_TRUE(WriteFileAtomically(path, "first"));
    EXPECT_EQ(InodeOf(path), first) << "identical content is not rewritten";

    ASSERT_TRUE(WriteFileAtomically(path, "second, longer"));
    EXPECT_EQ(ReadAll(path), "second, longer");
    EXPECT_NE(InodeOf(path), first) << "a new file is renamed into place";

    EXPECT_TRUE(WriteFileAtomically(directory.filePath(QStringLiteral("empty")), ""));
    EXPECT_FALSE(WriteFileAtomically(QString(), "x"));
    EXPECT_FALSE(WriteFileAtomically(directory.filePath(QStringLiteral("missing/dir/file")), "x"));
    EXPECT_EQ(QDir(directory.path()).entryList(QDir::Files | QDir::Hidden).size(), 2)
        << "no temporary file is left behind";
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
