#include "http/HttpClient.h"

#include "http/CurlApi.h"

#include "http/CurlFailure.h"
#include "http/RetryAfter.h"

#include <array>
#include <string_view>
#include <utility>
#include <vector>

namespace whois {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kOnlyHttps = "https";

CURLM* Multi(void* multi)
{
    return static_cast<CURLM*>(multi);
}

// The scheme and host of `url`, both empty when it does not parse.
std::pair<std::string, std::string> SchemeAndHost(const std::string& url)
{
    std::pair<std::string, std::string> parts;
    CURLU* parsed = Curl()->url();
    if (parsed == nullptr) {
        return parts;
    }
    if (Curl()->url_set(parsed, CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME) ==
        CURLUE_OK) {
        char* scheme = nullptr;
        char* host = nullptr;
        if (Curl()->url_get(parsed, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
            Curl()->url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
            parts = {scheme, host};
        }
        Curl()->free(scheme);
        Curl()->free(host);
    }
    Curl()->url_cleanup(parsed);
    return parts;
}

bool IsHttps(std::string_view scheme)
{
    return scheme.size() == 5 && (scheme[0] | 0x20) == 'h' && (scheme[1] | 0x20) == 't' &&
           (scheme[2] | 0x20) == 't' && (scheme[3] | 0x20) == 'p' && (scheme[4] | 0x20) == 's';
}

} // namespace

struct HttpClient::Transfer {
    RequestId id = 0;
    HttpRequest request;
    Done done;
    HttpResponse response;
    Clock::time_point started = Clock::now();
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    std::array<char, CURL_ERROR_SIZE> error{};
    bool tooLarge = false;
    // Set for a request that failed before reaching curl: its delivery is this timer.
    std::optional<EventLoop::TimerId> failTimer;

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self)
    {
        auto& transfer = *static_cast<Transfer*>(self);
        const std::size_t length = size * count;
        std::string& body = transfer.response.body;
        const std::size_t room = transfer.request.maxBodyBytes - body.size();
        if (length > room) {
            body.append(data, room);
            transfer.tooLarge = true;
            return CURL_WRITEFUNC_ERROR;
        }
        body.append(data, length);
        return length;
    }
};

HttpClient::HttpClient(EventLoop& loop) : loop_(loop) {}

// The transport and its TLS library start with the first request, so a program that never
// asks over HTTPS pays nothing for them.
void HttpClient::StartTransport()
{
    if (multi_ != nullptr || Curl() == nullptr) {
        return;
    }
    multi_ = Curl()->multi_init();
    if (multi_ == nullptr) {
        return;
    }
    Curl()->multi_setopt(Multi(multi_), CURLMOPT_SOCKETFUNCTION, &HttpClient::OnSocket);
    Curl()->multi_setopt(Multi(multi_), CURLMOPT_SOCKETDATA, this);
    Curl()->multi_setopt(Multi(multi_), CURLMOPT_TIMERFUNCTION, &HttpClient::OnTimer);
    Curl()->multi_setopt(Multi(multi_), CURLMOPT_TIMERDATA, this);
}

HttpClient::~HttpClient()
{
    *alive_ = false;
    for (auto& [id, transfer] : transfers_) {
        Drop(*transfer);
    }
    transfers_.clear();
    if (multi_ != nullptr) {
        Curl()->multi_cleanup(Multi(multi_));
    }
    for (const auto& [socket, watch] : watches_) {
        loop_.Unwatch(watch);
    }
    if (timer_) {
        loop_.CancelTimer(*timer_);
    }
}

HttpClient::RequestId HttpClient::Get(HttpRequest request, Done done)
{
    StartTransport();
    const RequestId id = nextId_++;
    auto owned = std::make_unique<Transfer>();
    Transfer& transfer = *owned;
    transfer.id = id;
    transfer.request = std::move(request);
    transfer.done = std::move(done);
    transfers_.emplace(id, std::move(owned));

    if (multi_ == nullptr) {
        Fail(transfer, HttpFailure::Other, "libcurl could not be loaded");
        return id;
    }
    const auto [scheme, host] = SchemeAndHost(transfer.request.url);
    if (scheme.empty()) {
        Fail(transfer, HttpFailure::InvalidUrl, "the URL does not parse: " + transfer.request.url);
        return id;
    }
    if (!IsHttps(scheme)) {
        Fail(transfer, HttpFailure::NotHttps, "only https is allowed, not " + scheme);
        return id;
    }
    transfer.easy = Curl()->easy_init();
    if (transfer.easy == nullptr) {
        Fail(transfer, HttpFailure::Other, "the transfer could not be set up");
        return id;
    }

    const HttpRequest& r = transfer.request;
    CURL* easy = transfer.easy;
    for (const std::string& line : r.headers) {
        if (curl_slist* more = Curl()->slist_append(transfer.headers, line.c_str())) {
            transfer.headers = more;
        }
    }
    Curl()->easy_setopt(easy, CURLOPT_URL, r.url.c_str());
    Curl()->easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    Curl()->easy_setopt(easy, CURLOPT_PROTOCOLS_STR, kOnlyHttps);
    Curl()->easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, kOnlyHttps);
    Curl()->easy_setopt(easy, CURLOPT_FOLLOWLOCATION, r.maxRedirects > 0 ? 1L : 0L);
    Curl()->easy_setopt(easy, CURLOPT_MAXREDIRS, static_cast<long>(r.maxRedirects));
    Curl()->easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    Curl()->easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!r.caFile.empty()) {
        Curl()->easy_setopt(easy, CURLOPT_CAINFO, r.caFile.c_str());
        Curl()->easy_setopt(easy, CURLOPT_CAPATH, static_cast<const char*>(nullptr));
    }
    Curl()->easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                        static_cast<long>(r.connectTimeout.count()));
    Curl()->easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(r.totalTimeout.count()));
    Curl()->easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(r.maxBodyBytes));
    Curl()->easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    Curl()->easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    if (!r.userAgent.empty()) {
        Curl()->easy_setopt(easy, CURLOPT_USERAGENT, r.userAgent.c_str());
    }
    Curl()->easy_setopt(easy, CURLOPT_HTTPHEADER, transfer.headers);
    Curl()->easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
    Curl()->easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    Curl()->easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer.error.data());
    Curl()->easy_setopt(easy, CURLOPT_PRIVATE, &transfer);

    // Adding asks for a zero timer through OnTimer; the transfer starts when the loop runs it.
    if (Curl()->multi_add_handle(Multi(multi_), easy) != CURLM_OK) {
        Fail(transfer, HttpFailure::Other, "the transfer could not be started");
    }
    return id;
}

void HttpClient::Cancel(RequestId id)
{
    const auto found = transfers_.find(id);
    if (found == transfers_.end()) {
        return;
    }
    const std::unique_ptr<Transfer> transfer = std::move(found->second);
    transfers_.erase(found);
    Drop(*transfer);
}

void HttpClient::Drop(Transfer& transfer)
{
    if (transfer.failTimer) {
        loop_.CancelTimer(*transfer.failTimer);
    }
    if (transfer.easy != nullptr) {
        Curl()->multi_remove_handle(Multi(multi_), transfer.easy);
        Curl()->easy_cleanup(transfer.easy);
        transfer.easy = nullptr;
    }
    Curl()->slist_free_all(transfer.headers);
    transfer.headers = nullptr;
}

void HttpClient::Fail(Transfer& transfer, HttpFailure failure, std::string detail)
{
    if (transfer.easy != nullptr) {
        Curl()->easy_cleanup(transfer.easy);
        transfer.easy = nullptr;
    }
    transfer.response.failure = failure;
    transfer.response.detail = std::move(detail);
    transfer.response.effectiveUrl = transfer.request.url;
    const RequestId id = transfer.id;
    transfer.failTimer = loop_.StartTimer(std::chrono::milliseconds{0}, [this, id] {
        const auto found = transfers_.find(id);
        if (found != transfers_.end()) {
            found->second->failTimer.reset();
            Deliver(id);
        }
    });
}

int HttpClient::OnSocket(void* /*easy*/, int socket, int what, void* client, void* /*socketData*/)
{
    auto& self = *static_cast<HttpClient*>(client);
    const auto found = self.watches_.find(socket);
    if (found != self.watches_.end()) {
        self.loop_.Unwatch(found->second);
        self.watches_.erase(found);
    }
    if (what == CURL_POLL_REMOVE) {
        return 0;
    }
    const unsigned interest = ((what & CURL_POLL_IN) != 0 ? EventLoop::kReadable : 0u) |
                              ((what & CURL_POLL_OUT) != 0 ? EventLoop::kWritable : 0u);
    HttpClient* const owner = &self;
    self.watches_[socket] = self.loop_.Watch(socket, interest, [owner, socket](unsigned seen) {
        const int flags = ((seen & EventLoop::kReadable) != 0 ? CURL_CSELECT_IN : 0) |
                          ((seen & EventLoop::kWritable) != 0 ? CURL_CSELECT_OUT : 0);
        owner->Act(socket, flags);
    });
    return 0;
}

int HttpClient::OnTimer(void* /*multi*/, long timeoutMs, void* client)
{
    auto& self = *static_cast<HttpClient*>(client);
    if (self.timer_) {
        self.loop_.CancelTimer(*self.timer_);
        self.timer_.reset();
    }
    if (timeoutMs < 0) {
        return 0;
    }
    HttpClient* const owner = &self;
    self.timer_ = self.loop_.StartTimer(std::chrono::milliseconds{timeoutMs}, [owner] {
        owner->timer_.reset();
        owner->Act(CURL_SOCKET_TIMEOUT, 0);
    });
    return 0;
}

void HttpClient::Act(int socket, int flags)
{
    int running = 0;
    Curl()->multi_socket_action(Multi(multi_), socket, flags, &running);
    FinishDone();
}

void HttpClient::FinishDone()
{
    // Collected first, because a `done` may cancel a transfer whose message is still queued.
    std::vector<std::pair<RequestId, CURLcode>> finished;
    int left = 0;
    while (CURLMsg* message = Curl()->multi_info_read(Multi(multi_), &left)) {
        if (message->msg != CURLMSG_DONE) {
            continue;
        }
        Transfer* transfer = nullptr;
        Curl()->easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transfer);
        if (transfer != nullptr) {
            finished.emplace_back(transfer->id, message->data.result);
        }
    }

    const std::shared_ptr<bool> alive = alive_;
    for (const auto& [id, code] : finished) {
        const auto found = transfers_.find(id);
        if (found == transfers_.end()) {
            continue;
        }
        Transfer& transfer = *found->second;
        CURL* easy = transfer.easy;
        HttpResponse& response = transfer.response;

        long verifyResult = 0;
        curl_off_t handshakeMicros = 0;
        char* effectiveUrl = nullptr;
        char* contentType = nullptr;
        Curl()->easy_getinfo(easy, CURLINFO_SSL_VERIFYRESULT, &verifyResult);
        Curl()->easy_getinfo(easy, CURLINFO_APPCONNECT_TIME_T, &handshakeMicros);
        Curl()->easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &response.status);
        Curl()->easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effectiveUrl);
        Curl()->easy_getinfo(easy, CURLINFO_CONTENT_TYPE, &contentType);
        response.effectiveUrl = effectiveUrl != nullptr ? effectiveUrl : transfer.request.url;
        response.host = SchemeAndHost(response.effectiveUrl).second;
        response.contentType = contentType != nullptr ? contentType : "";
        curl_header* retryAfter = nullptr;
        if (Curl()->easy_header(easy, "Retry-After", 0, CURLH_HEADER, -1, &retryAfter) ==
            CURLHE_OK) {
            response.retryAfter =
                ParseRetryAfter(retryAfter->value, std::chrono::system_clock::now());
        }
        if (code != CURLE_OK) {
            response.failure = transfer.tooLarge
                                   ? HttpFailure::TooLarge
                                   : FailureFromCurl(code, verifyResult, transfer.error.data(),
                                                     handshakeMicros > 0);
            response.detail =
                transfer.error[0] != '\0' ? transfer.error.data() : Curl()->easy_strerror(code);
        }
        Deliver(id);
        if (!*alive) {
            return;
        }
    }
}

void HttpClient::Deliver(RequestId id)
{
    const auto found = transfers_.find(id);
    const std::unique_ptr<Transfer> transfer = std::move(found->second);
    transfers_.erase(found);
    Drop(*transfer);
    transfer->response.elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - transfer->started);
    Done done = std::move(transfer->done);
    HttpResponse response = std::move(transfer->response);
    if (done) {
        done(std::move(response));
    }
}

} // namespace whois
