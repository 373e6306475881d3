#pragma once

#include "runtime/runtime.hpp"

// errno as a RuntimeError: the one way the POSIX runtime reports a failed
// call.
namespace dss {

// The system's message for errno `code`, in UTF-8 whatever the locale's
// character set: strerror answers in that set once GTK has set the locale,
// and a Latin-1 locale's accented letters would not decode.
Text ErrnoMessage(int code);

// Throws `code` with its message, after `before` where that says more.
[[noreturn]] void ThrowErrno(const Text& action, const Text& subject, int code, const Text& before = {});

} // namespace dss
