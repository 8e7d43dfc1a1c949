#pragma once

// Lookups through the whole session, RDAP included: whois servers on loopback addresses
// reached through the table resolver, RDAP servers over HTTPS on 127.0.0.1 with certificates
// of an authority the test makes. Every host name is either in the table or "localhost" /
// "127.0.0.1" in a URL, so nothing leaves the machine.
#include "LookupFixture.h"

#include "encoding/DecodeResponse.h"
#include "http/HttpsFixture.h"
#include "lookup/LookupSession.h"
#include "rdap/RdapBootstrap.h"
#include "rdap/RdapDirectory.h"
#include "rdap/RdapText.h"
#include "support/LoopbackHttpsServer.h"
#include "support/RefusingPort.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

namespace whois {

using test::HttpsReply;
using test::LoopbackHttpsServer;
using test::RedirectTo;
using test::Respond;
using test::TestCertificates;

inline constexpr char kDomainQuery[] = "example.test";
inline constexpr char kTestRegistry[] = "test.whois-servers.net";

// A file of tests/data/rdap-samples as its bytes.
inline std::string ReadRdapSample(const std::string& name)
{
    std::ifstream file(std::string(WHOIS_RDAP_SAMPLES_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(file) << name;
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

inline std::string ReplaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// A bootstrap file: each service is its entries and one base URL.
using BootstrapServices = std::vector<std::pair<std::vector<std::string>, std::string>>;
inline std::string BootstrapJson(const BootstrapServices& services,
                                 const std::string& publication = "2099-01-01T00:00:00Z")
{
    std::ostringstream json;
    json << R"({"version": "1.0", "publication": ")" << publication << R"(", "services": [)";
    for (std::size_t i = 0; i < services.size(); ++i) {
        json << (i == 0 ? "" : ", ") << "[[";
        const auto& entries = services[i].first;
        for (std::size_t e = 0; e < entries.size(); ++e) {
            json << (e == 0 ? "" : ", ") << '"' << entries[e] << '"';
        }
        json << R"(], [")" << services[i].second << R"("]])";
    }
    json << "]}\n";
    return json.str();
}

// A domain record as a registry sends it.
inline std::string DomainJson(const std::string& name)
{
    return R"({"objectClassName": "domain", "ldhName": ")" + name +
           R"(", "status": ["active"], "events": [{"eventAction": "registration",
           "eventDate": "2001-02-03T04:05:06Z"}]})";
}

// The boxes of a window over a session: writing the result raises the change event.
class SessionBoxes : public RecordingBoxes {
  public:
    LookupSession* session = nullptr;

    void WriteResultBox(const Text& text) override
    {
        RecordingBoxes::WriteResultBox(text);
        if (session != nullptr) {
            session->StartFollowUp();
        }
    }
};

class RdapLookupTest : public testing::Test {
  protected:
    static constexpr auto kDeadline = std::chrono::seconds{15};

    void SetUp() override
    {
        ASSERT_TRUE(TestCertificates::Get().authority.Valid());
        ASSERT_TRUE(rdap.Listening());
        std::filesystem::remove(routeFile);
        boxes.query = kDomainQuery;
    }
    void TearDown() override { std::filesystem::remove(routeFile); }

    // A whois server on `address`; every one shares the first one's port.
    LoopbackWhoisServer& Whois(const char* address, std::vector<ConnectionScript> scripts)
    {
        const std::uint16_t shared = whoisServers.empty() ? 0 : whoisServers.front()->Port();
        whoisServers.push_back(
            std::make_unique<LoopbackWhoisServer>(std::move(scripts), shared, 30s, address));
        EXPECT_TRUE(whoisServers.back()->Listening());
        return *whoisServers.back();
    }

    // The session's options: port 43 on the test's port, RDAP through the test's directory
    // with every service at `rdapBase`, the test authority trusted.
    LookupSession::Options Options() const
    {
        LookupSession::Options options = LookupSession::ProgramOptions("whois-desktop");
        options.limits.whoisPort =
            whoisServers.empty() ? refusing.Port() : whoisServers.front()->Port();
        options.connectTimeout = 2s;
        options.routeCacheFile = routeFile;
        options.rdap.caFile = TestCertificates::Get().authority.CaFile();
        options.rdapSource = rdap.Url("/bootstrap/");
        RdapDirectory directory(std::span<const RdapOverride>{});
        directory.Replace(*RdapBootstrap::Parse(RdapRegistry::Domain,
                                                BootstrapJson({{{"test", "com"}, rdapBase}})));
        directory.Replace(
            *RdapBootstrap::Parse(RdapRegistry::Ipv4, BootstrapJson({{{"1.0.0.0/8"}, rdapBase}})));
        directory.Replace(*RdapBootstrap::Parse(RdapRegistry::Autnum,
                                                BootstrapJson({{{"13000-14000"}, rdapBase}})));
        options.rdapDirectory = std::move(directory);
        return options;
    }

    void Start() { Start(Options()); }
    void Start(LookupSession::Options options)
    {
        session = std::make_unique<LookupSession>(loop, resolver, state, boxes, &observer,
                                                  std::move(options));
        boxes.session = session.get();
    }

    // Runs the query in the box; true once the lookup has ended.
    bool Run(std::chrono::milliseconds deadline = kDeadline)
    {
        const std::size_t before = observer.finished.size();
        session->RunQuery();
        return loop.RunUntil([&] { return observer.finished.size() > before; }, deadline);
    }

    const LookupOutcome& Outcome() const { return observer.finished.back(); }

    // The result box's text for `json` as received from `url`.
    static Text Shown(const std::string& json, const std::string& url)
    {
        const auto text = RdapToText(json, url);
        EXPECT_TRUE(text.has_value());
        return DecodeResponse(text.value_or(""));
    }

    PollEventLoop loop;
    test::MapResolver resolver; // knows no name unless a test adds it
    LookupState state;
    SessionBoxes boxes;
    RecordingObserver observer;
    LoopbackHttpsServer rdap{TestCertificates::Get().localhost};
    std::string rdapBase = rdap.Url("/rdap/");
    test::RefusingPort refusing; // port 43 while no whois server runs
    std::vector<std::unique_ptr<LoopbackWhoisServer>> whoisServers;
    std::string routeFile =
        testing::TempDir() + "rdap-routes-" + std::to_string(::getpid()) + ".tsv";
    std::unique_ptr<LookupSession> session;
};

} // namespace whois
