#include "rdap/RdapBootstrapCache.h"

#include "rdap/BuiltInRdapData.h"
#include "files/CacheDirectory.h"

#include <charconv>
#include <cstdint>
#include <string>

namespace whois {
namespace {

// Far beyond any real bootstrap file (IANA's largest is under 100 KiB).
constexpr std::size_t kMaxCachedFile = 8 * 1024 * 1024;
constexpr std::size_t kMaxStamp = 64;

std::optional<std::chrono::sys_seconds> ParseStamp(std::string_view text)
{
    if (!text.empty() && text.back() == '\n') {
        text.remove_suffix(1);
    }
    std::int64_t seconds = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return std::chrono::sys_seconds(std::chrono::seconds(seconds));
}

std::chrono::sys_seconds Seconds(std::chrono::system_clock::time_point time)
{
    return std::chrono::floor<std::chrono::seconds>(time);
}

} // namespace

RdapBootstrapCache::RdapBootstrapCache(std::filesystem::path directory)
    : directory_(std::move(directory))
{
}

std::optional<RdapBootstrapCache> RdapBootstrapCache::Default()
{
    auto base = CacheDirectory();
    if (!base) {
        return std::nullopt;
    }
    return RdapBootstrapCache(*base / "rdap");
}

std::filesystem::path RdapBootstrapCache::FilePath(RdapRegistry registry) const
{
    return directory_ / (std::string(RdapRegistryName(registry)) + ".json");
}

std::filesystem::path RdapBootstrapCache::StampPath(RdapRegistry registry,
                                                    std::string_view kind) const
{
    return directory_ / (std::string(RdapRegistryName(registry)) + "." + std::string(kind));
}

RdapBootstrap RdapBootstrapCache::LoadCached(RdapRegistry registry) const
{
    const RdapBootstrap& builtIn = BuiltInBootstrap(registry);
    const auto bytes = ReadRegularFile(FilePath(registry), kMaxCachedFile);
    if (!bytes) {
        return builtIn;
    }
    auto cached = RdapBootstrap::Parse(registry, *bytes);
    if (!cached || cached->PublicationTime() < builtIn.PublicationTime()) {
        return builtIn;
    }
    return std::move(*cached);
}

RdapDirectory RdapBootstrapCache::LoadDirectory() const
{
    RdapDirectory directory(BuiltInOverrides());
    for (const RdapRegistry registry : kRdapRegistries) {
        directory.Replace(LoadCached(registry));
    }
    return directory;
}

ReplaceResult RdapBootstrapCache::StoreRefreshed(RdapRegistry registry,
                                                    std::string_view bytes) const
{
    const std::string name(RdapRegistryName(registry));
    const auto fresh = RdapBootstrap::Parse(registry, bytes);
    if (!fresh) {
        return {false, "not an RDAP bootstrap file for " + name};
    }
    const RdapBootstrap inUse = LoadCached(registry);
    if (fresh->PublicationTime() < inUse.PublicationTime()) {
        return {false, "the " + name + " file published " + fresh->Publication() +
                           " is older than the one in use, published " + inUse.Publication()};
    }
    return ReplaceFile(FilePath(registry), bytes);
}

RdapRefreshState RdapBootstrapCache::RefreshState(RdapRegistry registry) const
{
    RdapRefreshState state;
    if (const auto text = ReadRegularFile(StampPath(registry, "refreshed"), kMaxStamp)) {
        state.lastRefreshed = ParseStamp(*text);
    }
    if (const auto text = ReadRegularFile(StampPath(registry, "failed"), kMaxStamp)) {
        state.lastFailed = ParseStamp(*text);
    }
    return state;
}

bool RdapBootstrapCache::RefreshDue(RdapRegistry registry,
                                    std::chrono::system_clock::time_point now) const
{
    return RdapRefreshDue(RefreshState(registry), Seconds(now));
}

ReplaceResult RdapBootstrapCache::NoteRefreshed(RdapRegistry registry,
                                                   std::chrono::system_clock::time_point now) const
{
    return ReplaceFile(StampPath(registry, "refreshed"),
                          std::to_string(Seconds(now).time_since_epoch().count()) + "\n");
}

ReplaceResult
RdapBootstrapCache::NoteRefreshFailed(RdapRegistry registry,
                                      std::chrono::system_clock::time_point now) const
{
    return ReplaceFile(StampPath(registry, "failed"),
                          std::to_string(Seconds(now).time_since_epoch().count()) + "\n");
}

} // namespace whois
