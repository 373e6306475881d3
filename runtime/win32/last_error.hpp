#pragma once

#include "runtime/runtime.hpp"

// Windows' own error code and message for a failed call, as a RuntimeError.
// Only the Windows parts of the program include this.
namespace dss {

[[noreturn]] void ThrowLastError(const Text& action, const Text& subject);

} // namespace dss
