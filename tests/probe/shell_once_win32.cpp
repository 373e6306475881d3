// Starts one program through the runtime, as the launcher's Launch button
// does, then exits: shell_once PROGRAM COMMAND-LINE PID-FILE. Writes the
// started process id to PID-FILE; on failure prints the error and exits 1.
#include "runtime/runtime.hpp"

#include <cstdio>
#include <fstream>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4) {
        std::fputs("usage: shell_once PROGRAM COMMAND-LINE PID-FILE\n", stderr);
        return 2;
    }
    const auto text = [](const wchar_t* wide) {
        return dss::Text(wide, wide + std::char_traits<wchar_t>::length(wide));
    };
    try {
        const std::uint32_t pid = dss::SystemRuntime().Shell(text(argv[1]), text(argv[2]), dss::kMinimizedFocus);
        std::ofstream(argv[3]) << pid;
        return 0;
    } catch (const dss::RuntimeError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
