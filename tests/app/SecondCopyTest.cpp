// Two copies of the real program: the second one's start-up must leave the first working,
// also when it has to replace the skin engine file that the first one has loaded.
#include "EmbeddedFiles.h"
#include "SkinInstaller.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace whois::app {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

class Program {
  public:
    explicit Program(const fs::path& home)
    {
        std::vector<std::string> variables = {"XDG_DATA_HOME=" + home.string(),
                                              "QT_QPA_PLATFORM=offscreen"};
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string_view variable(*entry);
            if (!variable.starts_with("XDG_DATA_HOME=") &&
                !variable.starts_with("QT_QPA_PLATFORM=")) {
                variables.emplace_back(variable);
            }
        }
        std::vector<char*> envp;
        for (std::string& variable : variables) {
            envp.push_back(variable.data());
        }
        envp.push_back(nullptr);
        std::string path = WHOIS_DESKTOP_PATH;
        char* argv[] = {path.data(), nullptr};
        if (posix_spawn(&pid_, path.c_str(), nullptr, nullptr, argv, envp.data()) != 0) {
            pid_ = -1;
        }
    }

    ~Program()
    {
        if (Running()) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    bool Running()
    {
        if (pid_ <= 0) {
            return false;
        }
        if (::waitpid(pid_, &status_, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        return true;
    }

  private:
    pid_t pid_ = -1;
    int status_ = 0;
};

TEST(SecondCopyTest, LeavesTheFirstCopyWorking)
{
    const fs::path home =
        fs::temp_directory_path() / ("whois-second-copy-" + std::to_string(::getpid()));
    fs::remove_all(home);
    fs::create_directories(home);
    const fs::path library = home / "whois-desktop" / kSkinLibraryName;
    const std::string engine(embedded::kSkinEngineLibrary);

    Program first(home);
    ASSERT_TRUE(WaitUntil([&] { return ReadAll(library) == engine; }, 20s));
    ASSERT_TRUE(first.Running());

    // Another version of the engine on disk, put there the way this program replaces files,
    // so the second copy has to replace the file the first one has loaded.
    {
        std::ofstream(home / "other.tmp", std::ios::binary) << engine << "other version";
        fs::rename(home / "other.tmp", library);
    }

    Program second(home);
    ASSERT_TRUE(WaitUntil([&] { return ReadAll(library) == engine; }, 20s));
    // Both keep running for a while after the second copy replaced the file.
    EXPECT_FALSE(WaitUntil([&] { return !first.Running() || !second.Running(); }, 1500ms));
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(second.Running());
    fs::remove_all(home);
}

} // namespace
} // namespace whois::app
