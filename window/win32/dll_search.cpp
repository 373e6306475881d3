#include "window/win32/dll_search.hpp"

#include "runtime/win32/last_error.hpp"
#include "runtime/win32/proc_address.hpp"

#include <windows.h>

namespace dss::win32 {

void LoadDllsFromSystemOnly()
{
    constexpr char16_t kAction[] = u"The search for system libraries could not be restricted.";
    // Looked up, not imported: an import would keep the program off the
    // systems that lack it.
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    const auto setDefaultDllDirectories = ProcAddress<SetDefaultDllDirectoriesFunction>(
        GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
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
