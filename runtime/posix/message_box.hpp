#pragma once

#include "runtime/runtime.hpp"

namespace dss {

// A modal message box over the program's active window.
int ShowMessageBox(const Text& prompt, int style, const Text& title);

} // namespace dss
