#pragma once

#include "runtime/runtime.hpp"

// Windows' own error code and message for a failed call, as a RuntimeError.
// Only the Windows parts of the program include this.
namespace dss {

// Throws Windows error `code`. `subject` also fills the message's first
// insert: Windows names what failed that way ("%1 is not a valid Win32
// application.").
[[noreturn]] void ThrowWindowsError(const Text& action, const Text& subject, unsigned long code);

// Throws GetLastError's code: to be called right after the failed call,
// before anything else (freeing a string included) can change it.
[[noreturn]] void ThrowLastError(const Text& action, const Text& subject);

// `message` with `value` in place of each insert %1 (with any format, as
// in "%1!s!"). Other inserts have no value here and stay as they are, as
// do escapes such as "%%".
Text FillFirstInsert(const Text& message, const Text& value);

} // namespace dss
