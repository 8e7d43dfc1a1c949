#include "SkinInstaller.h"

#include "EmbeddedFiles.h"
#include "files/ReplaceFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <filesystem>

#include <dlfcn.h>

namespace whois::app {

bool WriteFileAtomically(const QString& path, std::string_view bytes)
{
    if (path.isEmpty()) {
        return false;
    }
    const std::filesystem::path target(QFile::encodeName(path).toStdString());
    // Only a regular file is compared, read without following a link or waiting on a FIFO.
    if (ReadRegularFile(target, bytes.size()) == bytes) {
        return true;
    }
    return ReplaceFile(target, bytes).written;
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
