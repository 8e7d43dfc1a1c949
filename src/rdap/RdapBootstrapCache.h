#pragma once

#include "files/ReplaceFile.h"
#include "rdap/RdapBootstrap.h"
#include "rdap/RdapDirectory.h"
#include "rdap/RdapRefreshPolicy.h"
#include "rdap/RdapRegistry.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string_view>

namespace whois {

// Refreshed bootstrap files kept in a directory, one "<dns|ipv4|ipv6|asn>.json" per registry,
// with stamps of the last successful and failed fetches ("<name>.refreshed", "<name>.failed":
// seconds since the epoch, in decimal). Does no networking: the caller fetches
// IanaBootstrapUrl() when RefreshDue() says so and hands the bytes to StoreRefreshed().
class RdapBootstrapCache {
  public:
    explicit RdapBootstrapCache(std::filesystem::path directory);
    // The cache in CacheDirectory()/"rdap"; nothing when there is no usable home directory.
    static std::optional<RdapBootstrapCache> Default();

    const std::filesystem::path& Directory() const { return directory_; }
    std::filesystem::path FilePath(RdapRegistry registry) const;

    // The cached file when it is there, parses and was published no earlier than the
    // built-in one; otherwise the built-in one. Never fails.
    RdapBootstrap LoadCached(RdapRegistry registry) const;
    // All four registries as LoadCached() gives them, with the built-in overrides.
    RdapDirectory LoadDirectory() const;

    // Keeps `bytes` as the registry's file when they parse and were published no earlier
    // than the file in use (LoadCached()). Replaces the cached file atomically.
    ReplaceResult StoreRefreshed(RdapRegistry registry, std::string_view bytes) const;

    // Whether a fetch is due at `now` (see RdapRefreshDue); stamps that are missing or
    // unreadable count as never.
    bool RefreshDue(RdapRegistry registry, std::chrono::system_clock::time_point now) const;
    RdapRefreshState RefreshState(RdapRegistry registry) const;
    // Record that a fetch completed (whether or not StoreRefreshed took its file) or failed.
    ReplaceResult NoteRefreshed(RdapRegistry registry,
                                   std::chrono::system_clock::time_point now) const;
    ReplaceResult NoteRefreshFailed(RdapRegistry registry,
                                       std::chrono::system_clock::time_point now) const;

  private:
    std::filesystem::path StampPath(RdapRegistry registry, std::string_view kind) const;

    std::filesystem::path directory_;
};

} // namespace whois
