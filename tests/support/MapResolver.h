#pragma once

#include "net/EventLoop.h"
#include "net/Resolver.h"

#include <chrono>
#include <cstring>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace whois::test {

// Resolves names from a table, the way tests send whois server names to loopback servers,
// and remembers every name it was asked for. Unknown names are not found. It answers before
// Resolve returns, or after a delay on a loop when told to.
class MapResolver : public Resolver {
  public:
    MapResolver() = default;
    MapResolver(std::initializer_list<std::pair<const std::string, std::string>> entries)
    {
        for (const auto& [name, address] : entries) {
            Add(name, address);
        }
    }

    // Points `name` at one numeric address, IPv4 ("127.0.0.2") or IPv6 ("::1").
    void Add(const std::string& name, const std::string& address = "127.0.0.1")
    {
        Add(name, std::vector<std::string>{address});
    }

    // Points `name` at several addresses, to be tried in this order of preference.
    void Add(const std::string& name, const std::vector<std::string>& addresses)
    {
        ResolveResult result;
        for (const std::string& text : addresses) {
            result.addresses.push_back(Address(text));
        }
        table_[name] = result;
    }

    // Makes the lookup of `name` fail for `failure`.
    void Fail(const std::string& name, ConnectFailure failure)
    {
        table_[name] = ResolveResult{{}, failure};
    }

    // Answers from now on through a timer of `loop`, `delay` after being asked.
    void AnswerLater(EventLoop& loop, std::chrono::milliseconds delay)
    {
        loop_ = &loop;
        delay_ = delay;
    }

    RequestId Resolve(const std::string& host, Callback done) override
    {
        asked_.push_back(host);
        const RequestId id = nextId_++;
        const auto found = table_.find(host);
        ResolveResult result = found == table_.end() ? ResolveResult{} : found->second;
        if (loop_ == nullptr) {
            done(std::move(result));
            return id;
        }
        timers_[id] = loop_->StartTimer(delay_, [this, id, done, result] {
            timers_.erase(id);
            done(result);
        });
        return id;
    }

    void Cancel(RequestId id) override
    {
        const auto found = timers_.find(id);
        if (found != timers_.end()) {
            cancelled_.push_back(id);
            loop_->CancelTimer(found->second);
            timers_.erase(found);
        }
    }

    void Prefetch(const std::string& host) override { prefetched_.push_back(host); }

    const std::vector<std::string>& Asked() const { return asked_; }
    // The names asked for ahead of a request.
    const std::vector<std::string>& Prefetched() const { return prefetched_; }
    // The ids of requests cancelled while their answer was still to come.
    const std::vector<RequestId>& Cancelled() const { return cancelled_; }
    std::size_t Pending() const { return timers_.size(); }

    static ResolvedAddress Address(const std::string& text)
    {
        ResolvedAddress resolved;
        in6_addr address6{};
        in_addr address4{};
        if (::inet_pton(AF_INET6, text.c_str(), &address6) == 1) {
            sockaddr_in6 peer{};
            peer.sin6_family = AF_INET6;
            peer.sin6_addr = address6;
            std::memcpy(&resolved.address, &peer, sizeof peer);
            resolved.length = sizeof peer;
        } else if (::inet_pton(AF_INET, text.c_str(), &address4) == 1) {
            sockaddr_in peer{};
            peer.sin_family = AF_INET;
            peer.sin_addr = address4;
            std::memcpy(&resolved.address, &peer, sizeof peer);
            resolved.length = sizeof peer;
        }
        return resolved;
    }

  private:
    std::map<std::string, ResolveResult> table_;
    std::vector<std::string> asked_;
    std::vector<std::string> prefetched_;
    EventLoop* loop_ = nullptr;
    std::chrono::milliseconds delay_{0};
    RequestId nextId_ = 1;
    std::map<RequestId, EventLoop::TimerId> timers_;
    std::vector<RequestId> cancelled_;
};

} // namespace whois::test
