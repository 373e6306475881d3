#include "runtime/runtime.hpp"
#include "window/main_window.hpp"

#include <cstdio>
#include <cstdlib>
#include <exception>

int main()
{
    try {
        return dss::RunMainWindow(dss::SystemRuntime());
    } catch (const std::exception& failure) {
        // Failures of the launch itself are shown in the window; this is
        // one that kept the window from being built at all.
        std::fprintf(stderr, "dedicated-server-starter: %s\n", failure.what());
        return EXIT_FAILURE;
    }
}
