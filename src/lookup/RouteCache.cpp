#include "lookup/RouteCache.h"

#include "files/CacheDirectory.h"
#include "files/ReplaceFile.h"

#include <map>
#include <sstream>

namespace whois {
namespace {

// Far more than any real cache holds; a larger file is not ours and is ignored.
constexpr std::size_t kMaxFileBytes = std::size_t{1} << 20;

struct Entry {
    std::string server;
    std::int64_t stored; // seconds since the epoch
};

using Entries = std::map<std::string, Entry>;

bool IsPlainName(const std::string& text)
{
    return !text.empty() && text.size() <= 253 &&
           text.find_first_of("\t\r\n /") == std::string::npos;
}

// Reads "tld<TAB>server<TAB>seconds" lines; anything else in the file is skipped. Only a
// regular file is read, never through a link and never blocking on a FIFO.
Entries Load(const std::string& file)
{
    Entries entries;
    std::istringstream lines(ReadRegularFile(file, kMaxFileBytes).value_or(std::string()));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string tld;
        Entry entry;
        if (std::getline(fields, tld, '\t') && std::getline(fields, entry.server, '\t') &&
            (fields >> entry.stored) && IsPlainName(tld) && IsPlainName(entry.server)) {
            entries[tld] = entry;
        }
    }
    return entries;
}

void Store(const std::string& file, const Entries& entries)
{
    std::ostringstream text;
    for (const auto& [tld, entry] : entries) {
        text << tld << '\t' << entry.server << '\t' << entry.stored << '\n';
    }
    ReplaceFile(file, text.str());
}

} // namespace

RouteCache::RouteCache(std::string file, std::function<Clock::time_point()> now)
    : file_(std::move(file)), now_(std::move(now))
{
}

std::optional<std::string> RouteCache::ServerFor(const std::string& tld) const
{
    if (file_.empty()) {
        return std::nullopt;
    }
    const Entries entries = Load(file_);
    const auto found = entries.find(tld);
    if (found == entries.end()) {
        return std::nullopt;
    }
    const auto stored = Clock::time_point(std::chrono::seconds(found->second.stored));
    const auto age = now_() - stored;
    if (age < Clock::duration::zero() || age >= kLifetime) {
        return std::nullopt;
    }
    return found->second.server;
}

void RouteCache::Remember(const std::string& tld, const std::string& server)
{
    if (IsPlainName(tld) && IsPlainName(server)) {
        Update(tld, &server);
    }
}

void RouteCache::Forget(const std::string& tld)
{
    Update(tld, nullptr);
}

void RouteCache::Update(const std::string& tld, const std::string* server)
{
    if (file_.empty()) {
        return;
    }
    Entries entries = Load(file_);
    const std::int64_t now =
        std::chrono::duration_cast<std::chrono::seconds>(now_().time_since_epoch()).count();
    std::erase_if(entries, [now](const auto& item) {
        return now - item.second.stored >=
               std::chrono::duration_cast<std::chrono::seconds>(kLifetime).count();
    });
    if (server != nullptr) {
        entries[tld] = Entry{*server, now};
    } else if (entries.erase(tld) == 0) {
        return;
    }
    Store(file_, entries);
}

std::string RouteCache::DefaultFile(const std::string& name)
{
    const auto directory = CacheDirectory();
    return directory ? (*directory / name).string() : std::string();
}

} // namespace whois
