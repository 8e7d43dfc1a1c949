#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace whois {

// Whether a file was written, and why not.
struct ReplaceResult {
    bool written = false;
    std::string reason; // empty when written
};

// The bytes of the regular file at `path`. Nothing when it is missing, a symlink, a FIFO or
// anything else but a regular file, larger than `maxSize`, or unreadable. Never blocks on a
// FIFO.
std::optional<std::string> ReadRegularFile(const std::filesystem::path& path, std::size_t maxSize);

// Replaces the file at `path` by `bytes` at once: writes a new file beside it (created
// exclusively, never through a symlink), syncs it and renames it over `path`, so a reader sees
// the old file or the new one whole. A symlink at `path` is replaced, never followed. Creates
// missing directories (mode 0700).
ReplaceResult ReplaceFile(const std::filesystem::path& path, std::string_view bytes);

} // namespace whois
