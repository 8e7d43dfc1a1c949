#pragma once

#include "http/HttpResponse.h"

#include <string_view>

#include <curl/curl.h>

namespace whois {

// The failure a finished transfer's `code` stands for. `verifyResult` is OpenSSL's
// certificate verdict (an X509_V_ERR_* value, 0 when it found nothing), `detail` curl's
// message and `handshakeDone` whether a TLS session was set up before the end.
HttpFailure FailureFromCurl(CURLcode code, long verifyResult, std::string_view detail,
                            bool handshakeDone);

} // namespace whois
