#pragma once

#include <string>

namespace whois {

// A counted run of bytes that may hold zero bytes: an answer as it came off the wire, or a
// UTF-16 buffer. It is a std::string, like Text, so that buffers and texts pass into each
// other without copies and share the same string operations; nothing treats it as
// zero-terminated.
using ByteBuffer = std::string;

} // namespace whois
