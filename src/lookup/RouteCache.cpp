#include "lookup/RouteCache.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace whois {
namespace {

// Far more than any real cache holds; a larger file is not ours and is ignored.
constexpr off_t kMaxFileBytes = 1 << 20;

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

// Reads "tld<TAB>server<TAB>seconds" lines; anything else in the file is skipped. Opens
// without following links or blocking on a FIFO, and only regular files.
Entries Load(const std::string& file)
{
    Entries entries;
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return entries;
    }
    struct stat info {};
    std::string bytes;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMaxFileBytes) {
        bytes.resize(static_cast<std::size_t>(info.st_size));
        const ssize_t got = ::read(fd, bytes.data(), bytes.size());
        bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    ::close(fd);

    std::istringstream lines(bytes);
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

bool MakeDirectories(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        ::mkdir(path.substr(0, slash).c_str(), 0700);
    }
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

// Writes a new file beside the old one and renames it over, so a reader sees the old file or
// the new one, never a part, and a link at the file's place is replaced, not followed.
void Store(const std::string& file, const Entries& entries)
{
    const std::size_t slash = file.rfind('/');
    if (slash == std::string::npos || !MakeDirectories(file.substr(0, slash))) {
        return;
    }
    std::ostringstream text;
    for (const auto& [tld, entry] : entries) {
        text << tld << '\t' << entry.server << '\t' << entry.stored << '\n';
    }
    const std::string bytes = text.str();
    std::string temporary = file + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return;
    }
    const bool written =
        ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    ::close(fd);
    if (!written || ::rename(temporary.c_str(), file.c_str()) != 0) {
        ::unlink(temporary.c_str());
    }
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
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return std::string(xdg) + "/whois-desktop/" + name;
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return std::string(home) + "/.cache/whois-desktop/" + name;
    }
    return {};
}

} // namespace whois
