#pragma once

#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>

namespace whois {

// The functions of libcurl this library calls. The library is loaded when the first HTTPS
// request needs it, not at start: it brings a TLS stack and some twenty other libraries that
// would otherwise slow every start of the program, also when nothing is asked over HTTPS.
struct CurlApi {
    decltype(&curl_global_init) global_init;
    decltype(&curl_easy_init) easy_init;
    decltype(&curl_easy_cleanup) easy_cleanup;
    decltype(&curl_easy_setopt) easy_setopt;
    decltype(&curl_easy_getinfo) easy_getinfo;
    decltype(&curl_easy_header) easy_header;
    decltype(&curl_easy_strerror) easy_strerror;
    decltype(&curl_free) free;
    decltype(&curl_getdate) getdate;
    decltype(&curl_multi_init) multi_init;
    decltype(&curl_multi_cleanup) multi_cleanup;
    decltype(&curl_multi_setopt) multi_setopt;
    decltype(&curl_multi_add_handle) multi_add_handle;
    decltype(&curl_multi_remove_handle) multi_remove_handle;
    decltype(&curl_multi_socket_action) multi_socket_action;
    decltype(&curl_multi_info_read) multi_info_read;
    decltype(&curl_slist_append) slist_append;
    decltype(&curl_slist_free_all) slist_free_all;
    decltype(&curl_url) url;
    decltype(&curl_url_cleanup) url_cleanup;
    decltype(&curl_url_get) url_get;
    decltype(&curl_url_set) url_set;
};

// libcurl, loaded and initialised once; null when it cannot be loaded. Never fails otherwise.
const CurlApi* Curl();

} // namespace whois
