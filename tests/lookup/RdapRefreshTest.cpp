// The session's RDAP bootstrap data in a cache directory of the test's own, refreshed from
// the loopback server: in the background when due, kept out when bad, waited for only by a
// lookup for a TLD the data does not know.
#include "RdapLookupFixture.h"

#include "support/CaseName.h"

#include <charconv>
#include <cstdlib>

namespace whois {
namespace {

namespace fs = std::filesystem;

class RdapRefreshTest : public RdapLookupTest {
  protected:
    void SetUp() override
    {
        RdapLookupTest::SetUp();
        static int made = 0;
        cacheHome = fs::path(testing::TempDir()) /
                    ("rdap-refresh-" + std::to_string(::getpid()) + "-" + std::to_string(++made));
        fs::remove_all(cacheHome);
        fs::create_directories(Cache());
        if (const char* old = std::getenv("XDG_CACHE_HOME")) {
            oldCacheHome = old;
        }
        ::setenv("XDG_CACHE_HOME", cacheHome.c_str(), 1);
        Write("dns.json", oldFile);
    }

    void TearDown() override
    {
        if (oldCacheHome) {
            ::setenv("XDG_CACHE_HOME", oldCacheHome->c_str(), 1);
        } else {
            ::unsetenv("XDG_CACHE_HOME");
        }
        session.reset();
        fs::remove_all(cacheHome);
        RdapLookupTest::TearDown();
    }

    fs::path Cache() const { return cacheHome / "whois-desktop" / "rdap"; }

    void Write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(Cache() / name, std::ios::binary) << bytes;
    }

    std::string Read(const std::string& name) const
    {
        std::ifstream file(Cache() / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    static std::int64_t SecondsAgo(std::chrono::seconds ago)
    {
        return std::chrono::duration_cast<std::chrono::seconds>(
                   (std::chrono::system_clock::now() - ago).time_since_epoch())
            .count();
    }

    // The last successful refresh, `ago`.
    void RefreshedAgo(std::chrono::seconds ago) const
    {
        Write("dns.refreshed", std::to_string(SecondsAgo(ago)) + "\n");
    }

    // The session reads its data from the cache and refreshes it from the loopback server.
    LookupSession::Options CacheOptions() const
    {
        LookupSession::Options options = Options();
        options.rdapDirectory.reset();
        return options;
    }

    void ServeBootstrap(std::string file, std::chrono::milliseconds delay = {}, int status = 200)
    {
        HttpsReply reply = Respond(status, std::move(file), "application/json");
        reply.delay = delay;
        rdap.Serve("/bootstrap/dns.json", reply);
        rdap.Serve("/rdap/domain/a.test1", Respond(200, DomainJson("a.test1")));
        rdap.Serve("/rdap/domain/b.test2", Respond(200, DomainJson("b.test2")));
    }

    std::size_t BootstrapFetches() const
    {
        std::size_t count = 0;
        for (const auto& request : rdap.Requests()) {
            count += request.target == "/bootstrap/dns.json" ? 1 : 0;
        }
        return count;
    }

    // Runs the query `query`; how long the lookup took, or nothing when it did not end.
    std::optional<std::chrono::milliseconds> Timed(const char* query)
    {
        boxes.query = query;
        const auto start = std::chrono::steady_clock::now();
        if (!Run()) {
            return std::nullopt;
        }
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
    }

    Text RecordShown(const std::string& name) const
    {
        return Shown(DomainJson(name), rdap.Url("/rdap/domain/" + name));
    }

    static std::string NoPort43(const std::string& tld)
    {
        return tld + ".whois-servers.net: 找不到该服务器名称\n" + kIana + ": 找不到该服务器名称\n";
    }

    fs::path cacheHome;
    std::optional<std::string> oldCacheHome;
    std::string oldFile = BootstrapJson({{{"test1"}, rdapBase}}, "2099-01-01T00:00:00Z");
    std::string newFile =
        BootstrapJson({{{"test1"}, rdapBase}, {{"test2"}, rdapBase}}, "2099-02-01T00:00:00Z");
};

TEST_F(RdapRefreshTest, DueRefreshRunsBehindTheLookupAndAddsATld)
{
    RefreshedAgo(std::chrono::hours{48});
    ServeBootstrap(newFile, 1500ms);
    Start(CacheOptions());

    const auto took = Timed("a.test1");
    ASSERT_TRUE(took);
    EXPECT_LT(*took, 1s) << "the lookup does not wait for the refresh";
    EXPECT_EQ(boxes.result, RecordShown("a.test1"));

    ASSERT_TRUE(loop.RunUntil([&] { return Read("dns.json") == newFile; }, kDeadline));
    std::int64_t stamp = 0;
    const std::string refreshed = Read("dns.refreshed");
    std::from_chars(refreshed.data(), refreshed.data() + refreshed.size(), stamp);
    EXPECT_GE(stamp, SecondsAgo(std::chrono::seconds{60}));

    ASSERT_TRUE(Timed("b.test2"));
    EXPECT_EQ(boxes.result, RecordShown("b.test2"));
    EXPECT_EQ(BootstrapFetches(), 1u);
    const auto requests = rdap.Requests();
    const auto fetch = std::find_if(requests.begin(), requests.end(), [](const auto& r) {
        return r.target == "/bootstrap/dns.json";
    });
    ASSERT_NE(fetch, requests.end());
    EXPECT_TRUE(fetch->Header("User-Agent").starts_with("whois-desktop/"));
}

TEST_F(RdapRefreshTest, NothingIsFetchedWhenPort43Answers)
{
    RefreshedAgo(std::chrono::hours{48});
    ServeBootstrap(newFile);
    const std::string record = AnswerOf(300);
    resolver.Add("test1.whois-servers.net", "127.0.0.2");
    Whois("127.0.0.2", {Answer(record)});
    Start(CacheOptions());

    ASSERT_TRUE(Timed("a.test1"));
    EXPECT_EQ(boxes.result, record);
    EXPECT_EQ(rdap.RequestCount(), 0u);
}

struct BadRefreshCase : test::NamedCase {
    std::string file;
    int status;
};

class RdapBadRefreshTest : public RdapRefreshTest,
                           public testing::WithParamInterface<BadRefreshCase> {};

TEST_P(RdapBadRefreshTest, IsKeptOutAndNotTriedAgainWithinTheHour)
{
    RefreshedAgo(std::chrono::hours{48});
    ServeBootstrap(ReplaceAll(GetParam().file, "BASE", rdapBase), {}, GetParam().status);
    Start(CacheOptions());

    ASSERT_TRUE(Timed("a.test1"));
    EXPECT_EQ(boxes.result, RecordShown("a.test1"));
    ASSERT_TRUE(loop.RunUntil([&] { return fs::exists(Cache() / "dns.failed"); }, kDeadline));
    EXPECT_EQ(Read("dns.json"), oldFile);

    // The TLD the bad file would add is still unknown, and the lookup does not wait.
    const auto took = Timed("b.test2");
    ASSERT_TRUE(took);
    EXPECT_LT(*took, 1s);
    EXPECT_EQ(boxes.result, DecodeResponse(NoPort43("test2")));
    EXPECT_EQ(BootstrapFetches(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RdapBadRefreshTest,
    testing::Values(BadRefreshCase{{"NotJson"}, "<html>maintenance</html>", 200},
                    BadRefreshCase{
                        {"NotABootstrapFile"}, R"({"version": "1.0", "services": []})", 200},
                    BadRefreshCase{{"OlderThanTheOneInUse"},
                                   R"({"version": "1.0", "publication": "2098-01-01T00:00:00Z",
                           "services": [[["test1"], ["BASE"]], [["test2"], ["BASE"]]]})",
                                   200},
                    BadRefreshCase{{"ServerError"}, "", 500}),
    test::CaseName());

TEST_F(RdapRefreshTest, UnknownTldWaitsForTheDueRefresh)
{
    RefreshedAgo(std::chrono::hours{48});
    ServeBootstrap(newFile, 600ms);
    Start(CacheOptions());

    const auto took = Timed("b.test2");
    ASSERT_TRUE(took);
    EXPECT_GE(*took, 550ms);
    EXPECT_EQ(boxes.result, RecordShown("b.test2"));
    EXPECT_EQ(observer.finished.size(), 1u);
}

TEST_F(RdapRefreshTest, UnknownTldWaitsNoLongerThanTheBound)
{
    RefreshedAgo(std::chrono::hours{48});
    ServeBootstrap(newFile, 2s);
    LookupSession::Options options = CacheOptions();
    options.limits.rdapRefreshWait = 300ms;
    Start(std::move(options));

    const auto took = Timed("b.test2");
    ASSERT_TRUE(took);
    EXPECT_GE(*took, 280ms);
    EXPECT_LT(*took, 1500ms);
    EXPECT_EQ(boxes.result, DecodeResponse(NoPort43("test2")));
    EXPECT_FALSE(Outcome().answered);
    for (const ExchangeReport& report : observer.ended) {
        EXPECT_NE(report.role, ServerRole::Rdap) << "no RDAP server was asked";
    }

    // The refresh lands later (its waiters run as it lands); the lookup that gave up stays
    // ended.
    ASSERT_TRUE(loop.RunUntil([&] { return Read("dns.json") == newFile; }, kDeadline));
    EXPECT_EQ(observer.finished.size(), 1u);
    EXPECT_EQ(boxes.resultWrites, 1);
    ASSERT_TRUE(Timed("b.test2"));
    EXPECT_EQ(boxes.result, RecordShown("b.test2"));
}

TEST_F(RdapRefreshTest, NewQueryDuringTheWaitIsLeftAloneByTheRefresh)
{
    RefreshedAgo(std::chrono::hours{48});
    ServeBootstrap(newFile, 800ms);
    Start(CacheOptions());

    boxes.query = "b.test2";
    session->RunQuery();
    ASSERT_TRUE(Timed("a.test1"));
    EXPECT_EQ(boxes.result, RecordShown("a.test1"));

    ASSERT_TRUE(loop.RunUntil([&] { return Read("dns.json") == newFile; }, kDeadline));
    EXPECT_EQ(boxes.result, RecordShown("a.test1"));
    EXPECT_EQ(observer.finished.size(), 1u);
    EXPECT_EQ(BootstrapFetches(), 1u);
    EXPECT_FALSE(session->InFlight());
}

TEST_F(RdapRefreshTest, SessionEndsWhileTheRefreshIsUnderWay)
{
    RefreshedAgo(std::chrono::hours{48});
    ServeBootstrap(newFile, 2s);
    Start(CacheOptions());

    ASSERT_TRUE(Timed("a.test1"));
    ASSERT_TRUE(loop.RunUntil([&] { return BootstrapFetches() == 1; }, kDeadline));
    session.reset();
    EXPECT_TRUE(rdap.WaitForNoOpenConnection());
    EXPECT_EQ(Read("dns.json"), oldFile);
    EXPECT_FALSE(fs::exists(Cache() / "dns.failed"));
}

TEST_F(RdapRefreshTest, UnknownTldDoesNotWaitWhenNoRefreshIsDue)
{
    RefreshedAgo(std::chrono::hours{1});
    ServeBootstrap(newFile);
    Start(CacheOptions());

    const auto took = Timed("b.test2");
    ASSERT_TRUE(took);
    EXPECT_LT(*took, 1s);
    EXPECT_EQ(boxes.result, DecodeResponse(NoPort43("test2")));
    EXPECT_EQ(rdap.RequestCount(), 0u);
}

} // namespace
} // namespace whois
