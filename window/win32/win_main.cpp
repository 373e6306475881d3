#include "runtime/runtime.hpp"
#include "window/main_window.hpp"

#include <windows.h>

// The show command reaches the window through SW_SHOWDEFAULT instead.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    return dss::RunMainWindow(dss::SystemRuntime());
}
