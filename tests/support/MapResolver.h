#pragma once

#include "net/Resolver.h"

#include <map>
#include <string>
#include <vector>

#include <arpa/inet.h>

namespace whois::test {

// Resolves names from a table, the way tests send whois server names to loopback servers,
// and remembers every name it was asked for.
class MapResolver : public Resolver {
  public:
    MapResolver() = default;
    MapResolver(std::initializer_list<std::pair<const std::string, std::string>> entries)
    {
        for (const auto& [name, dotted] : entries) {
            Add(name, dotted);
        }
    }

    void Add(const std::string& name, const std::string& dotted = "127.0.0.1")
    {
        in_addr address{};
        ::inet_pton(AF_INET, dotted.c_str(), &address);
        table_[name] = address;
    }

    std::optional<in_addr> Resolve(const std::string& host) override
    {
        asked_.push_back(host);
        const auto found = table_.find(host);
        return found == table_.end() ? std::nullopt : std::optional<in_addr>(found->second);
    }

    const std::vector<std::string>& Asked() const { return asked_; }

  private:
    std::map<std::string, in_addr> table_;
    std::vector<std::string> asked_;
};

} // namespace whois::test
