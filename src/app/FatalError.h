#pragma once

#include <QString>

#include <functional>

namespace whois::app {

// Exit code of a start-up that ends in a fatal error (-1, seen as 255 by the shell).
inline constexpr int kFatalExitCode = -1;

// The full text of the fatal error box for `message`.
QString FatalErrorText(const QString& message);

// Shows the modal error box with the caption "错误" and waits for it to be closed.
void ShowFatalError(const QString& message);

// Replaces the box with `hook` (caption, text), so tests do not block on it.
void SetFatalErrorHook(std::function<void(const QString&, const QString&)> hook);

} // namespace whois::app
