#pragma once

#include <filesystem>
#include <optional>

namespace whois {

// The program's cache directory, "$XDG_CACHE_HOME/whois-desktop", or
// "$HOME/.cache/whois-desktop" when XDG_CACHE_HOME is unset, empty or relative (relative
// paths there are to be ignored). Nothing when HOME is not an absolute path either. Only
// computes the path; creates nothing.
std::optional<std::filesystem::path> CacheDirectory();

} // namespace whois
