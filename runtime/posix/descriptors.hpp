#pragma once

#include "runtime/runtime.hpp"

namespace dss {

// Marks every open descriptor above standard error close-on-exec, so that
// a program started next receives only standard input, output and error:
// not those the launcher inherited from whatever started it. Throws
// RuntimeError, with `action` as what was being done, when the open
// descriptors cannot be listed or marked.
void PassOnlyStandardDescriptors(const Text& action);

} // namespace dss
