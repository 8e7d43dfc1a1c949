#pragma once

#include <QString>

#include <string_view>

namespace whois::app {

inline constexpr char kSkinLibraryName[] = "jedata.dll";
inline constexpr char kSkinFileName[] = "win8.she";
inline constexpr char kSkinEntryName[] = "SkinH_AttachEx";

// Writes `bytes` to `path` unless a regular file there already holds exactly those bytes. The
// bytes go to a temporary file in the same directory that is then renamed into place, so a
// copy of the program that has the old file loaded keeps working. A link at `path` is
// replaced, never followed; nothing at `path` is opened in a way that could block. False
// when it could not be written (a directory in the way, for one).
bool WriteFileAtomically(const QString& path, std::string_view bytes);

// Where the skin files go: "whois-desktop" under $XDG_DATA_HOME, or under
// $HOME/.local/share when that is unset or not an absolute path.
QString SkinDirectory();

// The loaded skin engine. It stays loaded until the object is destroyed at shutdown.
class SkinEngine {
  public:
    SkinEngine() = default;
    SkinEngine(const SkinEngine&) = delete;
    SkinEngine& operator=(const SkinEngine&) = delete;
    ~SkinEngine();

    // Loads the library by its full path only, never through the library search path.
    // False when it cannot be loaded or lacks the entry point.
    bool Load(const QString& libraryPath);
    // Calls the entry point; its result tells whether the engine applied the skin.
    int Attach(const QString& skinPath) const;

  private:
    using AttachFunction = int (*)(const char* skinFile, const char* password);
    void* library_ = nullptr;
    AttachFunction attach_ = nullptr;
};

// Writes the engine and the skin file into `directory` (created when missing), loads the
// engine and applies the skin. False when the engine could not be loaded.
bool InstallSkin(const QString& directory, SkinEngine& engine);

} // namespace whois::app
