#pragma once

#include <cstddef>
#include <filesystem>
#include <iterator>

namespace whois::test {

// Number of descriptors the process has open (the listing's own included, in every count).
inline std::size_t OpenDescriptorCount()
{
    const std::filesystem::directory_iterator entries("/proc/self/fd");
    return static_cast<std::size_t>(
        std::distance(std::filesystem::begin(entries), std::filesystem::end(entries)));
}

} // namespace whois::test
