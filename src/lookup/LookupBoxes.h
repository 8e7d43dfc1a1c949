#pragma once

#include "text/Text.h"

#include <string>

namespace whois {

// The window's three boxes as the lookup sees them, in code page 936 texts.
class LookupBoxes {
  public:
    virtual ~LookupBoxes() = default;

    virtual Text ReadQueryBox() const = 0;
    // The query box as the user typed it, in UTF-8, with the letters code page 936 lacks.
    // By default the code page 936 text converted.
    virtual std::string ReadQueryBoxUtf8() const;
    virtual void WriteServerBox(const Text& text) = 0;
    // Writing the result box raises its content-changed event, which runs the lookup's
    // StartFollowUp, before the write returns: on every write, also of unchanged text.
    virtual void WriteResultBox(const Text& text) = 0;
};

} // namespace whois
