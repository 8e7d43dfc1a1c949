#include "Output.h"

#include <cerrno>

#include <unistd.h>

namespace whois::cli {

void Output::Flush()
{
    std::string_view left = pending_;
    while (!left.empty()) {
        const ssize_t written = ::write(fd_, left.data(), left.size());
        if (written > 0) {
            left.remove_prefix(static_cast<std::size_t>(written));
        } else if (written < 0 && errno == EINTR) {
            continue;
        } else {
            break; // a closed pipe or a full disk: nothing more can be written
        }
    }
    pending_.clear();
}

} // namespace whois::cli
