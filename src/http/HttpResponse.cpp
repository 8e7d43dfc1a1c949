#include "http/HttpResponse.h"

namespace whois {

std::string_view HttpFailureName(HttpFailure failure)
{
    switch (failure) {
    case HttpFailure::None:
        return "None";
    case HttpFailure::InvalidUrl:
        return "InvalidUrl";
    case HttpFailure::NotHttps:
        return "NotHttps";
    case HttpFailure::NameNotFound:
        return "NameNotFound";
    case HttpFailure::Refused:
        return "Refused";
    case HttpFailure::ConnectTimedOut:
        return "ConnectTimedOut";
    case HttpFailure::TimedOut:
        return "TimedOut";
    case HttpFailure::TlsCertificate:
        return "TlsCertificate";
    case HttpFailure::TlsHostname:
        return "TlsHostname";
    case HttpFailure::TlsOther:
        return "TlsOther";
    case HttpFailure::TooLarge:
        return "TooLarge";
    case HttpFailure::TooManyRedirects:
        return "TooManyRedirects";
    case HttpFailure::Reset:
        return "Reset";
    case HttpFailure::Other:
        return "Other";
    }
    return "Other";
}

} // namespace whois
