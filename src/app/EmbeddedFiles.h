#pragma once

#include <string_view>

// Files the program carries inside itself, embedded at build time.
namespace whois::embedded {

extern const std::string_view kSkinEngineLibrary; // the skin engine, a shared library
extern const std::string_view kSkinFile;          // the skin it applies

} // namespace whois::embedded
