#pragma once

#include <windows.h>

namespace dss {

// The function `name` of `module`, as the type `Function` the caller names,
// or nullptr where the module (a null handle) or the function is missing,
// with GetLastError telling why. For functions looked up rather than
// imported, so that the program still starts on systems that lack them.
template <class Function>
Function ProcAddress(HMODULE module, const char* name)
{
    // Through void (*)(), which -Wcast-function-type accepts for any type.
    return module ? reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name))) : nullptr;
}

} // namespace dss
