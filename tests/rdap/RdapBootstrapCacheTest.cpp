#include "rdap/RdapBootstrapCache.h"

#include "rdap/BuiltInRdapData.h"
#include "files/CacheDirectory.h"
#include "support/CaseName.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace whois {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Urls = std::vector<std::string>;

// A domain file published at `publication` that sends ".test" to `server`.
std::string DomainFile(std::string_view publication, std::string_view server)
{
    return R"({"version": "1.0", "publication": ")" + std::string(publication) +
           R"(", "services": [[["test"], [")" + std::string(server) + R"("]]]})";
}

std::string Contents(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void Write(const fs::path& path, std::string_view bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// A fresh directory per test, with HOME and XDG_CACHE_HOME pointing into it and put back after.
class TemporaryHome : public testing::Test {
  protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "rdap-cache-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        Save("HOME");
        Save("XDG_CACHE_HOME");
        ::setenv("HOME", (root_ / "home").c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (root_ / "cache").c_str(), 1);
    }

    void TearDown() override
    {
        for (const auto& [name, value] : saved_) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    const fs::path& Root() const { return root_; }

  private:
    void Save(const std::string& name)
    {
        const char* value = std::getenv(name.c_str());
        saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }

    fs::path root_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// '+' marks a path made absolute under the temporary root; nullptr unsets or means none.
struct DirectoryCase : test::NamedCase {
    const char* xdgCacheHome;
    const char* home;
    const char* expected;
};

class CacheDirectoryTest : public TemporaryHome, public testing::WithParamInterface<DirectoryCase> {
  protected:
    std::string Path(const char* text) const
    {
        return text[0] == '+' ? (Root() / (text + 1)).string() : std::string(text);
    }
    void Set(const char* name, const char* value) const
    {
        if (value == nullptr) {
            ::unsetenv(name);
        } else {
            ::setenv(name, Path(value).c_str(), 1);
        }
    }
};

TEST_P(CacheDirectoryTest, FollowsTheBaseDirectoryRules)
{
    const DirectoryCase& c = GetParam();
    Set("XDG_CACHE_HOME", c.xdgCacheHome);
    Set("HOME", c.home);
    const auto directory = CacheDirectory();
    if (c.expected == nullptr) {
        EXPECT_FALSE(directory.has_value()) << *directory;
    } else {
        EXPECT_EQ(directory, fs::path(Path(c.expected)));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CacheDirectoryTest,
    testing::Values(DirectoryCase{{"XdgSet"}, "+xdg", "+home", "+xdg/whois-desktop"},
                    DirectoryCase{{"XdgRelative"}, "xdg", "+home", "+home/.cache/whois-desktop"},
                    DirectoryCase{{"XdgEmpty"}, "", "+home", "+home/.cache/whois-desktop"},
                    DirectoryCase{{"XdgUnset"}, nullptr, "+home", "+home/.cache/whois-desktop"},
                    DirectoryCase{{"HomeRelative"}, nullptr, "home", nullptr},
                    DirectoryCase{{"NeitherSet"}, nullptr, nullptr, nullptr},
                    DirectoryCase{{"XdgWithoutHome"}, "+xdg", nullptr, "+xdg/whois-desktop"}),
    test::CaseName());

class RdapBootstrapCacheTest : public TemporaryHome {
  protected:
    void SetUp() override
    {
        TemporaryHome::SetUp();
        auto found = RdapBootstrapCache::Default();
        ASSERT_TRUE(found.has_value());
        cache_.emplace(std::move(*found));
    }

    const RdapBootstrapCache& Cache() const { return *cache_; }
    fs::path DnsFile() const { return Cache().FilePath(RdapRegistry::Domain); }
    std::vector<std::string> CacheEntries() const
    {
        std::vector<std::string> names;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(Cache().Directory(), error)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    std::optional<RdapBootstrapCache> cache_;
};

TEST_F(RdapBootstrapCacheTest, LivesUnderTheXdgCacheHome)
{
    EXPECT_EQ(Cache().Directory(), Root() / "cache/whois-desktop/rdap");
    EXPECT_EQ(DnsFile(), Root() / "cache/whois-desktop/rdap/dns.json");
}

TEST_F(RdapBootstrapCacheTest, WithoutACachedFileLoadsTheBuiltInOne)
{
    for (const RdapRegistry registry : kRdapRegistries) {
        EXPECT_EQ(Cache().LoadCached(registry).Publication(),
                  BuiltInBootstrap(registry).Publication());
    }
    EXPECT_EQ(Cache().LoadDirectory().ServersForDomain("example.com"),
              Urls{"https://rdap.verisign.com/com/v1/"});
}

TEST_F(RdapBootstrapCacheTest, StoredFileIsLoadedBack)
{
    const std::string file = DomainFile("2030-01-01T00:00:00Z", "https://refreshed.example/");
    const ReplaceResult stored = Cache().StoreRefreshed(RdapRegistry::Domain, file);
    ASSERT_TRUE(stored.written) << stored.reason;
    EXPECT_EQ(Contents(DnsFile()), file);
    EXPECT_EQ(CacheEntries(), std::vector<std::string>{"dns.json"});

    EXPECT_EQ(Cache().LoadCached(RdapRegistry::Domain).Publication(), "2030-01-01T00:00:00Z");
    const RdapDirectory directory = Cache().LoadDirectory();
    EXPECT_EQ(directory.ServersForDomain("a.test"), Urls{"https://refreshed.example/"});
    EXPECT_EQ(directory.ServersForDomain("example.com"), Urls{});
    EXPECT_EQ(directory.ServersForDomain("github.io"),
              Urls{"https://rdap.identitydigital.services/rdap/"});
    EXPECT_EQ(directory.ServersForIp("1.1.1.1"), Urls{"https://rdap.apnic.net/"});
}

TEST_F(RdapBootstrapCacheTest, BuiltInFileItselfIsTaken)
{
    const std::string_view file = BuiltInBootstrapFile(RdapRegistry::Ipv6);
    EXPECT_TRUE(Cache().StoreRefreshed(RdapRegistry::Ipv6, file).written);
    EXPECT_EQ(Contents(Cache().FilePath(RdapRegistry::Ipv6)), file);
}

TEST_F(RdapBootstrapCacheTest, FileOlderThanTheOneInUseIsRefused)
{
    const ReplaceResult olderThanBuiltIn = Cache().StoreRefreshed(
        RdapRegistry::Domain, DomainFile("2026-07-23T02:00:02Z", "https://old.example/"));
    EXPECT_FALSE(olderThanBuiltIn.written);
    EXPECT_NE(olderThanBuiltIn.reason.find("older"), std::string::npos) << olderThanBuiltIn.reason;
    EXPECT_FALSE(fs::exists(DnsFile()));

    const std::string newer = DomainFile("2030-01-01T00:00:00Z", "https://newer.example/");
    ASSERT_TRUE(Cache().StoreRefreshed(RdapRegistry::Domain, newer).written);
    EXPECT_FALSE(Cache()
                     .StoreRefreshed(RdapRegistry::Domain,
                                     DomainFile("2029-12-31T23:59:59Z", "https://old.example/"))
                     .written);
    EXPECT_EQ(Contents(DnsFile()), newer);

    // The same publication again is no step back.
    const std::string same = DomainFile("2030-01-01T01:00:00+01:00", "https://same.example/");
    EXPECT_TRUE(Cache().StoreRefreshed(RdapRegistry::Domain, same).written);
    EXPECT_EQ(Contents(DnsFile()), same);
}

TEST_F(RdapBootstrapCacheTest, FileThatDoesNotParseIsRefused)
{
    const std::string kept = DomainFile("2030-01-01T00:00:00Z", "https://kept.example/");
    ASSERT_TRUE(Cache().StoreRefreshed(RdapRegistry::Domain, kept).written);
    const std::string_view refused[] = {
        "<html>502 Bad Gateway</html>", "",
        R"({"version": "1.0", "publication": "2031-01-01T00:00:00Z"})",
        BuiltInBootstrapFile(RdapRegistry::Ipv4)};
    for (const std::string_view bytes : refused) {
        const ReplaceResult result = Cache().StoreRefreshed(RdapRegistry::Domain, bytes);
        EXPECT_FALSE(result.written) << bytes;
        EXPECT_FALSE(result.reason.empty());
    }
    EXPECT_EQ(Contents(DnsFile()), kept);
    EXPECT_EQ(CacheEntries(), std::vector<std::string>{"dns.json"});
}

TEST_F(RdapBootstrapCacheTest, CachedFileThatIsOlderOrBrokenGivesWayToTheBuiltIn)
{
    fs::create_directories(Cache().Directory());
    Write(DnsFile(), DomainFile("2020-01-01T00:00:00Z", "https://old.example/"));
    Write(Cache().FilePath(RdapRegistry::Autnum), R"({"version": "1.0")");
    EXPECT_EQ(Cache().LoadCached(RdapRegistry::Domain).Publication(), "2026-07-23T02:00:03Z");
    EXPECT_EQ(Cache().LoadCached(RdapRegistry::Autnum).Publication(), "2026-06-01T20:00:01Z");
}

TEST_F(RdapBootstrapCacheTest, SymlinkAtTheDestinationIsReplacedNotFollowed)
{
    const fs::path target = Root() / "precious.json";
    const std::string precious = DomainFile("2031-01-01T00:00:00Z", "https://precious.example/");
    Write(target, precious);
    fs::create_directories(Cache().Directory());
    fs::create_symlink(target, DnsFile());

    // Not read through either.
    EXPECT_EQ(Cache().LoadCached(RdapRegistry::Domain).Publication(), "2026-07-23T02:00:03Z");

    const std::string file = DomainFile("2030-01-01T00:00:00Z", "https://refreshed.example/");
    const ReplaceResult stored = Cache().StoreRefreshed(RdapRegistry::Domain, file);
    ASSERT_TRUE(stored.written) << stored.reason;
    EXPECT_EQ(Contents(target), precious);
    EXPECT_FALSE(fs::is_symlink(DnsFile()));
    EXPECT_EQ(Contents(DnsFile()), file);
}

TEST_F(RdapBootstrapCacheTest, FifoAtTheDestinationNeitherBlocksNorIsRead)
{
    fs::create_directories(Cache().Directory());
    ASSERT_EQ(::mkfifo(DnsFile().c_str(), 0600), 0);
    EXPECT_EQ(Cache().LoadCached(RdapRegistry::Domain).Publication(), "2026-07-23T02:00:03Z");
    const std::string file = DomainFile("2030-01-01T00:00:00Z", "https://refreshed.example/");
    EXPECT_TRUE(Cache().StoreRefreshed(RdapRegistry::Domain, file).written);
    EXPECT_TRUE(fs::is_regular_file(DnsFile()));
}

TEST_F(RdapBootstrapCacheTest, UnwritableCacheSaysWhy)
{
    Write(Root() / "cache", "a file where the directory should be");
    const ReplaceResult result = Cache().StoreRefreshed(
        RdapRegistry::Domain, DomainFile("2030-01-01T00:00:00Z", "https://a.example/"));
    EXPECT_FALSE(result.written);
    EXPECT_NE(result.reason.find("cannot create"), std::string::npos) << result.reason;
    EXPECT_EQ(Cache().LoadCached(RdapRegistry::Domain).Publication(), "2026-07-23T02:00:03Z");
}

TEST_F(RdapBootstrapCacheTest, CacheDirectoryIsPrivate)
{
    ASSERT_TRUE(Cache()
                    .StoreRefreshed(RdapRegistry::Domain,
                                    DomainFile("2030-01-01T00:00:00Z", "https://a.example/"))
                    .written);
    struct stat status {};
    ASSERT_EQ(::stat(Cache().Directory().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
}

TEST_F(RdapBootstrapCacheTest, RefreshStampsDecideWhenToFetch)
{
    const auto now = std::chrono::system_clock::time_point(std::chrono::seconds(1'800'000'000));
    const auto dns = RdapRegistry::Domain;
    EXPECT_TRUE(Cache().RefreshDue(dns, now));

    ASSERT_TRUE(Cache().NoteRefreshed(dns, now - 25h).written);
    EXPECT_TRUE(Cache().RefreshDue(dns, now));
    ASSERT_TRUE(Cache().NoteRefreshFailed(dns, now - 30min).written);
    EXPECT_FALSE(Cache().RefreshDue(dns, now));
    EXPECT_TRUE(Cache().RefreshDue(dns, now + 31min));
    EXPECT_TRUE(Cache().RefreshDue(RdapRegistry::Ipv4, now));

    ASSERT_TRUE(Cache().NoteRefreshed(dns, now).written);
    EXPECT_FALSE(Cache().RefreshDue(dns, now + 23h));
    EXPECT_TRUE(Cache().RefreshDue(dns, now + 24h));
    EXPECT_EQ(Cache().RefreshState(dns).lastRefreshed,
              std::chrono::sys_seconds(std::chrono::seconds(1'800'000'000)));
}

TEST_F(RdapBootstrapCacheTest, UnreadableStampCountsAsNever)
{
    const auto now = std::chrono::system_clock::time_point(std::chrono::seconds(1'800'000'000));
    ASSERT_TRUE(Cache().NoteRefreshed(RdapRegistry::Domain, now).written);
    Write(Cache().Directory() / "dns.refreshed", "soon\n");
    EXPECT_FALSE(Cache().RefreshState(RdapRegistry::Domain).lastRefreshed.has_value());
    EXPECT_TRUE(Cache().RefreshDue(RdapRegistry::Domain, now));
}

} // namespace
} // namespace whois
