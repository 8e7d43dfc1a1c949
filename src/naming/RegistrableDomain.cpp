#include "naming/RegistrableDomain.h"

#include <memory>

#include <libpsl.h>

namespace whois {
namespace {

// The list installed with the system when it is newer than the one built into the library.
// Loaded once and kept for the whole run.
const psl_ctx_t* SuffixList()
{
    static const std::unique_ptr<psl_ctx_t, decltype(&psl_free)> list(psl_latest(nullptr),
                                                                      &psl_free);
    return list ? list.get() : psl_builtin();
}

} // namespace

std::optional<std::string> RegistrableDomain(std::string_view host)
{
    const psl_ctx_t* list = SuffixList();
    if (list == nullptr || host.empty() || host.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    const std::string name(host);
    const char* domain = psl_registrable_domain(list, name.c_str());
    if (domain == nullptr) {
        return std::nullopt;
    }
    return std::string(domain);
}

} // namespace whois
