#include "SkinInstaller.h"

#include "EmbeddedFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace whois::app {
namespace {

bool ReadExactly(int fd, char* buffer, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, buffer + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool WriteExactly(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Only a regular file is compared. The open neither follows a link nor waits for a FIFO's
// other end; the type is checked on what was opened.
bool HoldsExactly(const QByteArray& path, std::string_view bytes)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    bool same = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                static_cast<std::uint64_t>(info.st_size) == bytes.size();
    std::vector<char> buffer(std::size_t{64} << 10);
    while (same && !bytes.empty()) {
        const std::size_t size = std::min(buffer.size(), bytes.size());
        same = ReadExactly(fd, buffer.data(), size) &&
               std::memcmp(buffer.data(), bytes.data(), size) == 0;
        bytes.remove_prefix(size);
    }
    ::close(fd);
    return same;
}

} // namespace

bool WriteFileAtomically(const QString& path, std::string_view bytes)
{
    if (path.isEmpty()) {
        return false;
    }
    const QByteArray target = QFile::encodeName(path);
    if (HoldsExactly(target, bytes)) {
        return true;
    }
    const QFileInfo info(path);
    QByteArray temporary =
        QFile::encodeName(info.path() + QStringLiteral("/.") + info.fileName()) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool written = WriteExactly(fd, bytes) && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
    written = ::close(fd) == 0 && written;
    // rename replaces whatever non-directory is at the target, a link included, and never
    // writes through it; a reader sees the old file or the new one, never half of one.
    if (!written || ::rename(temporary.constData(), target.constData()) != 0) {
        ::unlink(temporary.constData());
        return false;
    }
    return true;
}

QString SkinDirectory()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    // Not QDir::isAbsolutePath, which takes ":name" for a resource path.
    if (!base.startsWith(QLatin1Char('/'))) {
        base = QDir::homePath() + QStringLiteral("/.local/share");
    }
    return base + QStringLiteral("/whois-desktop");
}

SkinEngine::~SkinEngine()
{
    if (library_ != nullptr) {
        dlclose(library_);
    }
}

bool SkinEngine::Load(const QString& libraryPath)
{
    if (library_ != nullptr || !QDir::isAbsolutePath(libraryPath)) {
        return false;
    }
    // A path with a slash makes dlopen open exactly that file.
    void* library = dlopen(QFile::encodeName(libraryPath).constData(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        return false;
    }
    void* entry = dlsym(library, kSkinEntryName);
    if (entry == nullptr) {
        dlclose(library);
        return false;
    }
    library_ = library;
    attach_ = reinterpret_cast<AttachFunction>(entry);
    return true;
}

int SkinEngine::Attach(const QString& skinPath) const
{
    if (attach_ == nullptr) {
        return 0;
    }
    return attach_(QFile::encodeName(skinPath).constData(), "");
}

bool InstallSkin(const QString& directory, SkinEngine& engine)
{
    QDir().mkpath(directory);
    const QString libraryPath = QDir(directory).absoluteFilePath(QLatin1String(kSkinLibraryName));
    const QString skinPath = QDir(directory).absoluteFilePath(QLatin1String(kSkinFileName));

    // A failed write is not fatal: a copy from an earlier start may still be there.
    WriteFileAtomically(libraryPath, embedded::kSkinEngineLibrary);
    WriteFileAtomically(skinPath, embedded::kSkinFile);

    if (!engine.Load(libraryPath)) {
        return false;
    }
    engine.Attach(skinPath);
    return true;
}

} // namespace whois::app
