#include "lookup/RdapData.h"

namespace whois {

RdapData::RdapData(RdapDirectory directory) : directory_(std::move(directory)) {}

RdapData::RdapData(std::function<RdapDirectory()> load) : load_(std::move(load)) {}

RdapData::RdapData(RdapBootstrapCache cache, HttpClient& http, RdapOptions options,
                   std::string sourceBase,
                   std::function<std::chrono::system_clock::time_point()> now)
    : cache_(std::move(cache)), http_(&http), options_(std::move(options)),
      sourceBase_(std::move(sourceBase)), now_(std::move(now))
{
    load_ = [this] { return cache_->LoadDirectory(); };
}

const RdapDirectory& RdapData::Directory() const
{
    if (!directory_) {
        directory_.emplace(load_());
    }
    return *directory_;
}

RdapData::~RdapData()
{
    if (http_ != nullptr) {
        for (const auto& [registry, request] : fetches_) {
            http_->Cancel(request);
        }
    }
}

void RdapData::Refresh(RdapRegistry registry, std::function<void()> then)
{
    const bool fetching = fetches_.count(registry) != 0;
    if (!fetching && (!cache_ || http_ == nullptr || !cache_->RefreshDue(registry, now_()))) {
        if (then) {
            then();
        }
        return;
    }
    if (then) {
        waiting_[registry].push_back(std::move(then));
    }
    if (fetching) {
        return;
    }
    HttpRequest request =
        MakeHttpRequest(options_, sourceBase_ + std::string(RdapRegistryName(registry)) + ".json",
                        "application/json");
    fetches_[registry] = http_->Get(std::move(request), [this, registry](HttpResponse response) {
        fetches_.erase(registry);
        Fetched(registry, response);
    });
}

void RdapData::Fetched(RdapRegistry registry, const HttpResponse& response)
{
    // A file that does not parse or is older than the one in use counts as a failed fetch.
    const bool taken = response.failure == HttpFailure::None && response.status == 200 &&
                       cache_->StoreRefreshed(registry, response.body).written;
    if (taken) {
        Directory();
        directory_->Replace(cache_->LoadCached(registry));
        cache_->NoteRefreshed(registry, now_());
    } else {
        cache_->NoteRefreshFailed(registry, now_());
    }
    std::vector<std::function<void()>> waiting = std::move(waiting_[registry]);
    waiting_.erase(registry);
    for (auto& then : waiting) {
        then();
    }
}

} // namespace whois
