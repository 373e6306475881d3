#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace dss::win32 {

struct ModuleFreer {
    void operator()(HMODULE module) const noexcept { FreeLibrary(module); }
};
using UniqueModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleFreer>;

// Loads the common controls and registers their Edit, Static and Button,
// the version the manifest asks for (6). Loaded at run time rather than
// imported: an imported comctl32 and the DLLs it needs are looked for in the
// launcher's folder first, before any code of ours can restrict the search.
// Keep the module while windows of those classes exist. Throws RuntimeError.
UniqueModule LoadCommonControls();

} // namespace dss::win32
