#include "window/win32/dll_search.hpp"

#include "runtime/win32/last_error.hpp"

#include <windows.h>

namespace dss::win32 {

void LoadDllsFromSystemOnly()
{
    constexpr char16_t kAction[] = u"The search for system libraries could not be restricted.";
    // Looked up, not imported: an import would keep the program off the
    // systems that lack it.
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    // Through void (*)(), which -Wcast-function-type accepts for any type.
    const auto setDefaultDllDirectories = kernel32 ? reinterpret_cast<SetDefaultDllDirectoriesFunction>(
                                                         reinterpret_cast<void (*)()>(GetProcAddress(
                                                             kernel32, "SetDefaultDllDirectories")))
                                                   : nullptr;
    if (setDefaultDllDirectories) {
        if (!setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
            ThrowLastError(kAction, u"SetDefaultDllDirectories");
        }
        return;
    }
    // An empty string takes the working folder out of the search.
    if (!SetDllDirectoryW(L"")) {
        ThrowLastError(kAction, u"SetDllDirectoryW");
    }
}

} // namespace dss::win32
