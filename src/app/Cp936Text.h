#pragma once

#include "text/Text.h"

#include <QString>

namespace whois::app {

// The window's Unicode strings and the core's code page 936 texts. A character that code
// page 936 lacks becomes "?"; a text reads up to its first zero byte.
Text ToCp936(const QString& text);
QString FromCp936(const Text& text);

} // namespace whois::app
