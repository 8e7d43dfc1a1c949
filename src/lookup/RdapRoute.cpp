#include "lookup/RdapRoute.h"

#include "rdap/RdapErrorText.h"
#include "rdap/RdapText.h"

#include <algorithm>
#include <charconv>

namespace whois {
namespace {

constexpr long kHttpTooManyRequests = 429;
constexpr long kHttpNotFound = 404;
constexpr std::string_view kHttps = "https://";

bool IsHttps(std::string_view url)
{
    return url.size() > kHttps.size() &&
           std::equal(kHttps.begin(), kHttps.end(), url.begin(), [](char a, char b) {
               return a == ((b >= 'A' && b <= 'Z') ? static_cast<char>(b - 'A' + 'a') : b);
           });
}

// "https://host:port/path" gives "host:port".
std::string HostOf(std::string_view url)
{
    const std::size_t start = url.find("://");
    if (start == std::string_view::npos) {
        return std::string(url);
    }
    std::string_view rest = url.substr(start + 3);
    return std::string(rest.substr(0, rest.find_first_of("/?#")));
}

// The registrar link as a URL to ask: absolute https links as they are, links relative to
// the server's root against the registry's URL; nothing for any other.
std::string AbsoluteLink(const std::string& link, const std::string& base)
{
    if (IsHttps(link)) {
        return link;
    }
    if (link.starts_with('/') && !link.starts_with("//")) {
        return "https://" + HostOf(base) + link;
    }
    return {};
}

std::string PathFor(QueryKind kind, const std::string& request)
{
    switch (kind) {
    case QueryKind::Domain:
        return "domain/" + request;
    case QueryKind::IpAddress:
        return "ip/" + request;
    case QueryKind::AsNumber:
        return "autnum/" + request.substr(2);
    case QueryKind::TopLevelDomain:
    case QueryKind::Keyword:
        break;
    }
    return {};
}

std::string Line(const std::string& host, const std::string& reason)
{
    return "RDAP " + host + ": " + reason + "\n";
}

} // namespace

HttpRequest MakeHttpRequest(const RdapOptions& options, std::string url, const char* accept)
{
    HttpRequest request;
    request.url = std::move(url);
    request.headers = {std::string("Accept: ") + accept};
    request.userAgent = options.userAgent;
    request.connectTimeout = options.connectTimeout;
    request.totalTimeout = options.totalTimeout;
    request.maxBodyBytes = options.maxAnswerBytes;
    request.caFile = options.caFile;
    return request;
}

std::string DescribeHttpFailureInEnglish(HttpFailure failure)
{
    switch (failure) {
    case HttpFailure::None:
        return {};
    case HttpFailure::InvalidUrl:
        return "not a valid address";
    case HttpFailure::NotHttps:
        return "the address is not https://, not used (https only)";
    case HttpFailure::NameNotFound:
        return "name not found";
    case HttpFailure::Refused:
        return "connection refused";
    case HttpFailure::ConnectTimedOut:
        return "no connection within 10 s";
    case HttpFailure::TimedOut:
        return "no whole answer within 20 s";
    case HttpFailure::TlsCertificate:
        return "certificate not trusted (unknown authority)";
    case HttpFailure::TlsHostname:
        return "certificate issued for another name";
    case HttpFailure::TlsOther:
        return "TLS handshake failed";
    case HttpFailure::TooLarge:
        return "answer over 4 MiB";
    case HttpFailure::TooManyRedirects:
        return "more than 5 redirects";
    case HttpFailure::Reset:
        return "connection reset";
    case HttpFailure::Other:
        return "the request failed";
    }
    return "the request failed";
}

std::string DescribeHttpFailure(HttpFailure failure)
{
    switch (failure) {
    case HttpFailure::None:
        return {};
    case HttpFailure::InvalidUrl:
        return "地址无效";
    case HttpFailure::NotHttps:
        return "地址不是 https://，未使用（只用 https）";
    case HttpFailure::NameNotFound:
        return "找不到该服务器名称";
    case HttpFailure::Refused:
        return "连接被拒绝";
    case HttpFailure::ConnectTimedOut:
        return "10 秒内未能连接";
    case HttpFailure::TimedOut:
        return "20 秒内未收到完整回答";
    case HttpFailure::TlsCertificate:
        return "证书无法验证（签发机构不受信任）";
    case HttpFailure::TlsHostname:
        return "证书不属于该服务器名称";
    case HttpFailure::TlsOther:
        return "TLS 握手失败";
    case HttpFailure::TooLarge:
        return "回答超过 4 MiB";
    case HttpFailure::TooManyRedirects:
        return "重定向超过 5 次";
    case HttpFailure::Reset:
        return "连接被重置";
    case HttpFailure::Other:
        return "请求失败";
    }
    return "请求失败";
}

RdapRoute::RdapRoute(HttpClient& http, EventLoop& loop, RdapOptions options)
    : http_(http), loop_(loop), options_(std::move(options))
{
}

RdapRoute::~RdapRoute()
{
    Cancel();
}

std::vector<std::string> RdapRoute::ServersFor(const RdapDirectory& directory, QueryKind kind,
                                               const std::string& request)
{
    switch (kind) {
    case QueryKind::Domain:
        return directory.ServersForDomain(request);
    case QueryKind::IpAddress:
        return directory.ServersForIp(request);
    case QueryKind::AsNumber: {
        std::uint32_t number = 0;
        const char* first = request.data() + 2;
        const char* last = request.data() + request.size();
        const auto [end, error] = std::from_chars(first, last, number);
        if (error != std::errc() || end != last) {
            return {};
        }
        return directory.ServersForAutnum(number);
    }
    case QueryKind::TopLevelDomain:
    case QueryKind::Keyword:
        break;
    }
    return {};
}

bool RdapRoute::Start(const RdapDirectory& directory, QueryKind kind, const std::string& request,
                      Done done)
{
    Cancel();
    const std::vector<std::string> servers = ServersFor(directory, kind, request);
    if (servers.empty()) {
        return false;
    }
    done_ = std::move(done);
    name_ = request;
    retried_ = false;
    registry_ = RdapResult{};
    const auto https = std::find_if(servers.begin(), servers.end(), IsHttps);
    // A service offered over plain HTTP only is asked through the client anyway, which
    // refuses it, so the failure comes back from the loop like any other.
    registryUrl_ = (https != servers.end() ? *https : servers.front()) + PathFor(kind, request);
    Ask(registryUrl_, Stage::Registry);
    return true;
}

void RdapRoute::Cancel()
{
    if (httpRequest_) {
        http_.Cancel(*httpRequest_);
        httpRequest_.reset();
    }
    if (retryTimer_) {
        loop_.CancelTimer(*retryTimer_);
        retryTimer_.reset();
    }
    done_ = nullptr;
}

void RdapRoute::Ask(const std::string& url, Stage stage)
{
    HttpRequest request = MakeHttpRequest(options_, url, "application/rdap+json, application/json");
    httpRequest_ = http_.Get(std::move(request), [this, stage](HttpResponse response) {
        httpRequest_.reset();
        OnResponse(std::move(response), stage);
    });
}

RdapResult RdapRoute::Failure(const HttpResponse& response, const std::string& url) const
{
    RdapResult result;
    result.url = response.effectiveUrl.empty() ? url : response.effectiveUrl;
    result.host = response.host.empty() ? HostOf(result.url) : response.host;
    if (response.failure != HttpFailure::None) {
        result.text = Line(result.host, DescribeHttpFailure(response.failure));
        result.english = Line(result.host, DescribeHttpFailureInEnglish(response.failure));
    } else {
        // The server's own words, in the language it wrote them.
        std::string lines = RdapErrorText(static_cast<int>(response.status), response.body, name_);
        if (!lines.empty() && lines.back() != '\n') {
            lines += '\n';
        }
        result.text = "RDAP " + result.host + ":\n" + lines;
        result.english = result.text;
    }
    return result;
}

void RdapRoute::OnResponse(HttpResponse response, Stage stage)
{
    const std::string url = stage == Stage::Registry ? registryUrl_ : registrarUrl_;
    if (response.failure == HttpFailure::None && response.status == kHttpTooManyRequests &&
        !retried_) {
        retried_ = true;
        const auto asked = std::chrono::milliseconds(
            response.retryAfter
                ? std::chrono::duration_cast<std::chrono::milliseconds>(*response.retryAfter)
                : std::chrono::milliseconds{1000});
        const auto wait =
            std::clamp(asked, std::chrono::milliseconds{0}, options_.longestRetryWait);
        const std::string again = response.effectiveUrl.empty() ? url : response.effectiveUrl;
        retryTimer_ = loop_.StartTimer(wait, [this, again, stage] {
            retryTimer_.reset();
            Ask(again, stage);
        });
        return;
    }

    const bool ok =
        response.failure == HttpFailure::None && response.status >= 200 && response.status < 300;
    // Read once: the text and, of the registry's answer, the registrar link.
    std::optional<RdapAnswerText> read;
    if (ok) {
        read = ReadRdapAnswer(response.body,
                              response.effectiveUrl.empty() ? url : response.effectiveUrl);
    }

    if (stage == Stage::Registrar) {
        RdapResult result = registry_;
        if (read) {
            result.host = response.host.empty() ? HostOf(url) : response.host;
            result.url = response.effectiveUrl.empty() ? url : response.effectiveUrl;
            result.json = std::move(response.body);
            result.text = std::move(read->text);
        } else {
            // The registry's answer stays, with a line saying why the registrar's is not there.
            const std::string host = response.host.empty() ? HostOf(url) : response.host;
            const RdapResult failed = ok ? RdapResult{false,
                                                      host,
                                                      url,
                                                      {},
                                                      Line(host, "回答不是 RDAP 格式"),
                                                      Line(host, "the answer is not RDAP")}
                                         : Failure(response, url);
            if (!result.text.empty() && result.text.back() != '\n') {
                result.text += '\n';
            }
            result.text += "\n" + failed.text;
        }
        Finish(std::move(result));
        return;
    }

    RdapResult result;
    result.url = response.effectiveUrl.empty() ? url : response.effectiveUrl;
    result.host = response.host.empty() ? HostOf(result.url) : response.host;
    if (read) {
        result.answered = true;
        result.json = std::move(response.body);
        result.text = std::move(read->text);
        const std::string link = AbsoluteLink(read->relatedLink, result.url);
        if (!link.empty() && link != result.url) {
            registry_ = std::move(result);
            registrarUrl_ = link;
            retried_ = false;
            Ask(link, Stage::Registrar);
            return;
        }
        Finish(std::move(result));
        return;
    }
    if (response.failure == HttpFailure::None && response.status == kHttpNotFound) {
        result.answered = true;
        result.json = response.body;
        result.text = "% RDAP " + result.url + "\n" +
                      RdapErrorText(static_cast<int>(response.status), response.body, name_);
        Finish(std::move(result));
        return;
    }
    if (ok) {
        result.text = Line(result.host, "回答不是 RDAP 格式");
        result.english = Line(result.host, "the answer is not RDAP");
        Finish(std::move(result));
        return;
    }
    Finish(Failure(response, url));
}

void RdapRoute::Finish(RdapResult result)
{
    Done done = std::move(done_);
    done_ = nullptr;
    if (done) {
        done(std::move(result));
    }
}

} // namespace whois
