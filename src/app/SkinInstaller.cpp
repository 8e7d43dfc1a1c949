#include "SkinInstaller.h"

#include "EmbeddedFiles.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <dlfcn.h>

namespace whois::app {
namespace {

bool HoldsExactly(const QString& path, std::string_view bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != static_cast<qint64>(bytes.size())) {
        return false;
    }
    const QByteArray content = file.readAll();
    return std::string_view(content.constData(), static_cast<std::size_t>(content.size())) == bytes;
}

} // namespace

bool WriteFileAtomically(const QString& path, std::string_view bytes)
{
    if (path.isEmpty()) {
        return false;
    }
    if (HoldsExactly(path, bytes)) {
        return true;
    }
    // QSaveFile writes a temporary file beside the target and renames it over the target
    // on commit: a reader never sees a half-written file and a mapped old file stays intact.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
        static_cast<qint64>(bytes.size())) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
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
