#include "launch/launch_action.hpp"
#include "runtime/runtime.hpp"
#include "window/main_window.hpp"
#include "window/win32/dll_search.hpp"

#include <windows.h>

#include <cstdlib>

// The show command reaches the window through SW_SHOWDEFAULT instead.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    dss::Runtime& runtime = dss::SystemRuntime();
    // First: the imports are bound already (all of them DLLs that Windows
    // takes from System32 only); everything loaded from here on is not.
    if (!dss::RunReportingFailures(runtime, [] { dss::win32::LoadDllsFromSystemOnly(); })) {
        return EXIT_FAILURE;
    }
    return dss::RunMainWindow(runtime);
}
