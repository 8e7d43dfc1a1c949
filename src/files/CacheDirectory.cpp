#include "files/CacheDirectory.h"

#include <cstdlib>
#include <string_view>

namespace whois {
namespace {

constexpr std::string_view kProgramDirectory = "whois-desktop";

bool IsAbsolute(const char* path)
{
    return path != nullptr && path[0] == '/';
}

} // namespace

std::optional<std::filesystem::path> CacheDirectory()
{
    if (const char* cacheHome = std::getenv("XDG_CACHE_HOME"); IsAbsolute(cacheHome)) {
        return std::filesystem::path(cacheHome) / kProgramDirectory;
    }
    if (const char* home = std::getenv("HOME"); IsAbsolute(home)) {
        return std::filesystem::path(home) / ".cache" / kProgramDirectory;
    }
    return std::nullopt;
}

} // namespace whois
