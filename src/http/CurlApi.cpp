#include "http/CurlApi.h"

#include <dlfcn.h>

#include <memory>

namespace whois {
namespace {

template <typename Function> bool Resolve(void* library, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(::dlsym(library, name));
    return function != nullptr;
}

std::unique_ptr<const CurlApi> Load()
{
    void* library = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        return nullptr;
    }
    auto api = std::make_unique<CurlApi>();
    const bool all = Resolve(library, "curl_global_init", api->global_init) &&
                     Resolve(library, "curl_easy_init", api->easy_init) &&
                     Resolve(library, "curl_easy_cleanup", api->easy_cleanup) &&
                     Resolve(library, "curl_easy_setopt", api->easy_setopt) &&
                     Resolve(library, "curl_easy_getinfo", api->easy_getinfo) &&
                     Resolve(library, "curl_easy_header", api->easy_header) &&
                     Resolve(library, "curl_easy_strerror", api->easy_strerror) &&
                     Resolve(library, "curl_free", api->free) &&
                     Resolve(library, "curl_getdate", api->getdate) &&
                     Resolve(library, "curl_multi_init", api->multi_init) &&
                     Resolve(library, "curl_multi_cleanup", api->multi_cleanup) &&
                     Resolve(library, "curl_multi_setopt", api->multi_setopt) &&
                     Resolve(library, "curl_multi_add_handle", api->multi_add_handle) &&
                     Resolve(library, "curl_multi_remove_handle", api->multi_remove_handle) &&
                     Resolve(library, "curl_multi_socket_action", api->multi_socket_action) &&
                     Resolve(library, "curl_multi_info_read", api->multi_info_read) &&
                     Resolve(library, "curl_slist_append", api->slist_append) &&
                     Resolve(library, "curl_slist_free_all", api->slist_free_all) &&
                     Resolve(library, "curl_url", api->url) &&
                     Resolve(library, "curl_url_cleanup", api->url_cleanup) &&
                     Resolve(library, "curl_url_get", api->url_get) &&
                     Resolve(library, "curl_url_set", api->url_set);
    // The library stays loaded for the rest of the run: transfers and TLS state live in it.
    if (!all || api->global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        return nullptr;
    }
    return api;
}

} // namespace

const CurlApi* Curl()
{
    static const std::unique_ptr<const CurlApi> api = Load();
    return api.get();
}

} // namespace whois
