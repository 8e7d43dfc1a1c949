#pragma once

// Lookups from end to end over real sockets: loopback whois servers on one port and
// several loopback addresses stand for the registry, the registrars' and IANA's servers.
#include "lookup/Lookup.h"

#include "net/PollEventLoop.h"
#include "net/TcpClient.h"
#include "support/LoopbackWhoisServer.h"
#include "support/MapResolver.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace whois {

using namespace std::chrono_literals;
using test::Answer;
using test::ConnectionScript;
using test::Ending;
using test::LoopbackWhoisServer;
using test::Segment;

inline constexpr char kRegistry[] = "com.whois-servers.net";
inline constexpr char kRegistrar[] = "whois.registrar.test";
inline constexpr char kThird[] = "whois.third.test";
inline constexpr char kRegistryAddress[] = "127.0.0.1";
inline constexpr char kRegistrarAddress[] = "127.0.0.2";
inline constexpr char kThirdAddress[] = "127.0.0.3";
inline constexpr char kIana[] = "whois.iana.org";
inline constexpr char kIanaAddress[] = "127.0.0.4";
inline constexpr char kQuery[] = "shop.example.com";
inline constexpr auto kWait = 5s;

// An answer of exactly `length` bytes, naming `referral` in its last line when one is given.
inline std::string AnswerOf(std::size_t length, std::string_view referral = {})
{
    std::string tail;
    if (!referral.empty()) {
        tail = "Registrar WHOIS Server: " + std::string(referral) + "\r\n";
    }
    std::string body = "Domain Name: EXAMPLE.COM\r\n";
    body.resize(length > tail.size() ? length - tail.size() : 0, 'x');
    return body + tail;
}

// An answer that goes out only when the test releases it.
inline ConnectionScript HeldAnswer(std::string bytes)
{
    ConnectionScript script = Answer(std::move(bytes));
    script.segments[0].awaitRelease = true;
    return script;
}

// The window's boxes as a plain object: the result box raises its change event inside every
// write by calling StartFollowUp, as the real box does.
// What the lookup told its observer.
class RecordingObserver : public LookupObserver {
  public:
    int started = 0;
    std::vector<Text> asked;
    std::vector<ExchangeReport> ended;
    std::vector<LookupOutcome> finished;

    void LookupStarted(const std::string&) override { ++started; }
    void ExchangeStarted(const Text& server, ServerRole) override { asked.push_back(server); }
    void ExchangeEnded(const ExchangeReport& report) override { ended.push_back(report); }
    void LookupFinished(const LookupOutcome& outcome) override { finished.push_back(outcome); }
};

class RecordingBoxes : public LookupBoxes {
  public:
    Text query;
    Text server;
    Text result;
    int serverWrites = 0;
    int resultWrites = 0;
    Lookup* lookup = nullptr;

    std::string queryUtf8; // when set, the box holds letters code page 936 lacks

    Text ReadQueryBox() const override { return query; }
    std::string ReadQueryBoxUtf8() const override
    {
        return queryUtf8.empty() ? LookupBoxes::ReadQueryBoxUtf8() : queryUtf8;
    }
    void WriteServerBox(const Text& text) override
    {
        server = text;
        ++serverWrites;
    }
    void WriteResultBox(const Text& text) override
    {
        result = text;
        ++resultWrites;
        if (lookup != nullptr) {
            lookup->StartFollowUp();
        }
    }
};

class LookupTest : public testing::Test {
  protected:
    LookupTest()
    {
        resolver.Add(kRegistry, kRegistryAddress);
        resolver.Add(kRegistrar, kRegistrarAddress);
        resolver.Add(kThird, kThirdAddress);
        resolver.Add(kIana, kIanaAddress);
        boxes.query = kQuery;
        std::remove(routeFile.c_str());
    }

    // The registry listens on an ephemeral port; every other server uses the same port on
    // its own loopback address, since a lookup asks every server on one port.
    LoopbackWhoisServer& Registry(std::vector<ConnectionScript> scripts,
                                  const char* address = kRegistryAddress)
    {
        registry = std::make_unique<LoopbackWhoisServer>(std::move(scripts), port, 30s, address);
        EXPECT_TRUE(registry->Listening());
        return *registry;
    }

    LoopbackWhoisServer& Server(const char* address, std::vector<ConnectionScript> scripts)
    {
        servers.push_back(
            std::make_unique<LoopbackWhoisServer>(std::move(scripts), Port(), 30s, address));
        EXPECT_TRUE(servers.back()->Listening());
        return *servers.back();
    }

    std::uint16_t Port() const { return registry ? registry->Port() : port; }

    void Start(Lookup::Limits limits = {})
    {
        limits.whoisPort = Port();
        lookup = std::make_unique<Lookup>(state, client, boxes, loop, limits, &routes, &observer);
        boxes.lookup = lookup.get();
    }

    // Waits until the lookup has ended and told its observer.
    bool Finished(std::size_t count = 1)
    {
        return WaitFor([&] { return observer.finished.size() >= count; });
    }

    Lookup::Limits ShortBounds() const
    {
        Lookup::Limits limits;
        limits.idleTimeout = 300ms;
        return limits;
    }

    bool WaitFor(const std::function<bool()>& done) { return loop.RunUntil(done, kWait); }

    bool ResultShows(const std::string& text)
    {
        return WaitFor([&] { return boxes.result == text; });
    }

    PollEventLoop loop;
    test::MapResolver resolver;
    TcpClient client{loop, resolver, 2s};
    LookupState state;
    RecordingBoxes boxes;
    RecordingObserver observer;
    std::string routeFile =
        testing::TempDir() + "whois-routes-" + std::to_string(::getpid()) + ".tsv";
    RouteCache routes{routeFile};
    std::uint16_t port = 0; // the port every server shares, once the first one has it
    std::unique_ptr<LoopbackWhoisServer> registry;
    std::vector<std::unique_ptr<LoopbackWhoisServer>> servers;
    std::unique_ptr<Lookup> lookup;
};

} // namespace whois
