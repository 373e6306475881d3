#include "runtime/posix/posix_error.hpp"

#include "runtime/utf.hpp"

#include <glib.h>

namespace dss {

Text ErrnoMessage(int code)
{
    // GLib's message is the C library's, converted to UTF-8.
    return FromUtf8(g_strerror(code));
}

void ThrowErrno(const Text& action, const Text& subject, int code, const Text& before)
{
    throw RuntimeError(action, subject, code, before + ErrnoMessage(code));
}

} // namespace dss
