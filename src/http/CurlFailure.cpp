#include "http/CurlFailure.h"

#include <optional>

#include <openssl/x509_vfy.h>

namespace whois {

namespace {

// What OpenSSL's verdict says for sure; nothing for a verdict that names no cause.
std::optional<HttpFailure> FromVerifyResult(long verifyResult)
{
    switch (verifyResult) {
    case X509_V_OK:
    case X509_V_ERR_UNSPECIFIED:
        return std::nullopt;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return HttpFailure::TlsHostname;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
    case X509_V_ERR_CERT_SIGNATURE_FAILURE:
    case X509_V_ERR_CERT_REJECTED:
        return HttpFailure::TlsCertificate;
    default:
        return HttpFailure::TlsOther;
    }
}

bool Contains(std::string_view text, std::string_view part)
{
    return text.find(part) != std::string_view::npos;
}

} // namespace

HttpFailure FailureFromCurl(CURLcode code, long verifyResult, std::string_view detail,
                            bool handshakeDone)
{
    switch (code) {
    case CURLE_OK:
        return HttpFailure::None;
    case CURLE_URL_MALFORMAT:
        return HttpFailure::InvalidUrl;
    case CURLE_UNSUPPORTED_PROTOCOL:
        return HttpFailure::NotHttps;
    case CURLE_COULDNT_RESOLVE_HOST:
        return HttpFailure::NameNotFound;
    case CURLE_COULDNT_CONNECT:
        return HttpFailure::Refused;
    case CURLE_OPERATION_TIMEDOUT:
        return handshakeDone ? HttpFailure::TimedOut : HttpFailure::ConnectTimedOut;
    case CURLE_PEER_FAILED_VERIFICATION:
        if (const auto verdict = FromVerifyResult(verifyResult)) {
            return *verdict;
        }
        // curl checks the name itself once OpenSSL has accepted the chain.
        if (Contains(detail, "subject name") || Contains(detail, "does not match")) {
            return HttpFailure::TlsHostname;
        }
        if (Contains(detail, "local issuer") || Contains(detail, "self-signed") ||
            Contains(detail, "self signed")) {
            return HttpFailure::TlsCertificate;
        }
        return HttpFailure::TlsOther;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
        return HttpFailure::TlsOther;
    case CURLE_FILESIZE_EXCEEDED:
        return HttpFailure::TooLarge;
    case CURLE_TOO_MANY_REDIRECTS:
        return HttpFailure::TooManyRedirects;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
        return HttpFailure::Reset;
    default:
        return HttpFailure::Other;
    }
}

} // namespace whois
