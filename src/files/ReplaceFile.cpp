#include "files/ReplaceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace whois {
namespace {

std::string Failure(std::string_view what, const std::filesystem::path& path, int error)
{
    std::string reason(what);
    reason += ' ';
    reason += path.string();
    reason += ": ";
    reason += std::strerror(error);
    return reason;
}

// Closes the descriptor when it goes out of scope.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int Get() const { return fd_; }
    // Closes now, reporting the error close gives (a delayed write failure).
    int Close()
    {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

  private:
    int fd_;
};

// mkdir -p with mode 0700 for what it creates; 0 or the errno that stopped it.
int MakeDirectories(const std::filesystem::path& directory)
{
    std::filesystem::path partial;
    for (const auto& part : directory) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            return errno;
        }
    }
    struct stat status {};
    if (::stat(directory.c_str(), &status) != 0) {
        return errno;
    }
    return S_ISDIR(status.st_mode) ? 0 : ENOTDIR;
}

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

std::optional<std::string> ReadRegularFile(const std::filesystem::path& path, std::size_t maxSize)
{
    Descriptor file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status {};
    if (file.Get() < 0 || ::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        static_cast<std::size_t>(status.st_size) > maxSize) {
        return std::nullopt;
    }
    std::string bytes;
    char buffer[16384];
    while (true) {
        const ssize_t got = ::read(file.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return std::nullopt;
        }
        if (got == 0) {
            return bytes;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
        if (bytes.size() > maxSize) {
            return std::nullopt;
        }
    }
}

ReplaceResult ReplaceFile(const std::filesystem::path& path, std::string_view bytes)
{
    const std::filesystem::path directory = path.parent_path();
    if (const int error = MakeDirectories(directory); error != 0) {
        return {false, Failure("cannot create", directory, error)};
    }

    // A name of our own beside the destination, so the rename stays within one file system.
    static std::atomic<unsigned> counter{0};
    std::filesystem::path temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        std::string name = ".";
        name += path.filename().string();
        name += ".new-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        temporary = directory / name;
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) {
            return {false, Failure("cannot create", temporary, errno)};
        }
    }
    if (fd < 0) {
        return {false, Failure("cannot create", temporary, EEXIST)};
    }
    Descriptor file(fd);
    if (!WriteAll(file.Get(), bytes) || ::fsync(file.Get()) != 0 || file.Close() != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return {false, Failure("cannot write", temporary, error)};
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return {false, Failure("cannot replace", path, error)};
    }
    // Makes the rename itself durable; a failure here leaves the new file in place anyway.
    if (Descriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        dir.Get() >= 0) {
        ::fsync(dir.Get());
    }
    return {true, {}};
}

} // namespace whois
