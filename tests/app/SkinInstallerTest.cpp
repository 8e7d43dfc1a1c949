// Writing the skin files and loading the engine: files replaced whole by rename, whatever
// is in their way (a link, a FIFO) neither followed nor waited on.
#include "SkinInstaller.h"

#include "support/CaseName.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace whois::app {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll().toStdString();
}

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

ino_t InodeOf(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
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
    // Missing folders on the way are made.
    EXPECT_TRUE(WriteFileAtomically(directory.filePath(QStringLiteral("missing/dir/file")), "x"));
    EXPECT_EQ(ReadAll(directory.filePath(QStringLiteral("missing/dir/file"))), "x");
    EXPECT_EQ(QDir(directory.path()).entryList(QDir::Files | QDir::Hidden).size(), 2)
        << "no temporary file is left behind";
}

// What a start-up may find where a skin file belongs.
struct InTheWay : test::NamedCase {
    void (*prepare)(const fs::path& target, const fs::path& usersFile);
    bool written;
};

constexpr char kUsersWords[] = "the user's own words";
constexpr char kNewContent[] = "the skin engine";

class WriteFileInTheWayTest : public testing::TestWithParam<InTheWay> {
  protected:
    // Runs the write in a child process, so a write that blocks fails the test instead of
    // hanging it. -1 when it did not end in time.
    int WriteWithDeadline(const fs::path& target)
    {
        const pid_t child = ::fork();
        if (child == 0) {
            const bool written =
                WriteFileAtomically(QFile::decodeName(target.c_str()), kNewContent);
            ::_exit(written ? 1 : 0);
        }
        const auto end = std::chrono::steady_clock::now() + 10s;
        int status = 0;
        while (::waitpid(child, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > end) {
                ::kill(child, SIGKILL);
                ::waitpid(child, &status, 0);
                return -1;
            }
            std::this_thread::sleep_for(10ms);
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    QTemporaryDir directory_;
};

TEST_P(WriteFileInTheWayTest, ReplacesWithoutFollowingOrBlocking)
{
    const fs::path root = QFile::encodeName(directory_.path()).toStdString();
    const fs::path target = root / "jedata.dll";
    const fs::path usersFile = root / "users-file";
    std::ofstream(usersFile, std::ios::binary) << kUsersWords;
    GetParam().prepare(target, usersFile);
    const fs::file_type before = fs::symlink_status(target).type();

    const int result = WriteWithDeadline(target);

    ASSERT_NE(result, -1) << "the write did not end";
    EXPECT_EQ(result == 1, GetParam().written);
    EXPECT_EQ(ReadAll(usersFile), kUsersWords) << "a link's target is never written";
    if (GetParam().written) {
        EXPECT_EQ(fs::symlink_status(target).type(), fs::file_type::regular);
        EXPECT_EQ(ReadAll(target), kNewContent);
    } else {
        EXPECT_EQ(fs::symlink_status(target).type(), before);
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(root)) {
        EXPECT_NE(entry.path().filename().string().front(), '.')
            << "temporary file left: " << entry.path();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Skin, WriteFileInTheWayTest,
    testing::Values(InTheWay{{"LinkToAUsersFile"},
                             [](const fs::path& target, const fs::path& usersFile) {
                                 fs::create_symlink(usersFile, target);
                             },
                             true},
                    InTheWay{{"LinkToAFileWithTheSameContent"},
                             [](const fs::path& target, const fs::path&) {
                                 const fs::path same = target.parent_path() / "same";
                                 std::ofstream(same, std::ios::binary) << kNewContent;
                                 fs::create_symlink(same, target);
                             },
                             true},
                    InTheWay{{"DanglingLink"},
                             [](const fs::path& target, const fs::path&) {
                                 fs::create_symlink(target.parent_path() / "nowhere", target);
                             },
                             true},
                    InTheWay{{"LinkToADirectory"},
                             [](const fs::path& target, const fs::path&) {
                                 fs::create_directory(target.parent_path() / "folder");
                                 fs::create_directory_symlink(target.parent_path() / "folder",
                                                              target);
                             },
                             true},
                    InTheWay{{"Fifo"},
                             [](const fs::path& target, const fs::path&) {
                                 ASSERT_EQ(::mkfifo(target.c_str(), 0600), 0);
                             },
                             true},
                    InTheWay{{"Directory"},
                             [](const fs::path& target, const fs::path&) {
                                 fs::create_directory(target);
                             },
                             false}),
    test::CaseName());

} // namespace
} // namespace whois::app
