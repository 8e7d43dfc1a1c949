#include "lookup/RouteCache.h"

#include "files/CacheDirectory.h"
#include "files/ReplaceFile.h"
#include "text/TextOperations.h"

#include <cctype>
#include <charconv>
#include <map>
#include <optional>
#include <string_view>
#include <utility>

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

// The entry of one "tld<TAB>server<TAB>seconds" line; nothing for a line of another form.
std::optional<std::pair<std::string, Entry>> ParseLine(std::string_view line)
{
    const std::size_t first = line.find('\t');
    const std::size_t second = first == std::string_view::npos ? first : line.find('\t', first + 1);
    if (second == std::string_view::npos) {
        return std::nullopt;
    }
    std::string tld(line.substr(0, first));
    Entry entry{std::string(line.substr(first + 1, second - first - 1)), 0};
    std::string_view seconds = line.substr(second + 1);
    while (!seconds.empty() && std::isspace(static_cast<unsigned char>(seconds.front())) != 0) {
        seconds.remove_prefix(1);
    }
    const auto [end, error] =
        std::from_chars(seconds.data(), seconds.data() + seconds.size(), entry.stored);
    if (error != std::errc() || !IsPlainName(tld) || !IsPlainName(entry.server)) {
        return std::nullopt;
    }
    return std::make_pair(std::move(tld), std::move(entry));
}

// Reads "tld<TAB>server<TAB>seconds" lines; anything else in the file is skipped. Only a
// regular file is read, never through a link and never blocking on a FIFO.
Entries Load(const std::string& file)
{
    Entries entries;
    const std::string text = ReadRegularFile(file, kMaxFileBytes).value_or(std::string());
    for (const Text& line : SplitText(text, "\n")) {
        if (auto entry = ParseLine(line)) {
            entries[entry->first] = std::move(entry->second);
        }
    }
    return entries;
}

void Store(const std::string& file, const Entries& entries)
{
    std::string text;
    for (const auto& [tld, entry] : entries) {
        text += tld + '\t' + entry.server + '\t' + std::to_string(entry.stored) + '\n';
    }
    ReplaceFile(file, text);
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
