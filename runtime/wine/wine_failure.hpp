#pragma once

#include "runtime/runtime.hpp"

#include <string>
#include <string_view>
#include <vector>

// What Wine says when it cannot start a program, as the launcher shows it.
namespace dss {

// Wine's debugging messages ("0024:fixme:heap:...", "err:winediag:..."),
// but for errors of the channels that load and create programs, which tell
// why a program could not start.
bool IsWineDebugNoise(std::string_view line);

// Throws why Wine's `start` could not start `program`, having ended with
// waitpid's `status`: what `start` printed (`said`, such as
// "ShellExecuteEx failed: Bad EXE format for Z:\..."), in OEM code page
// `codePage`, then what Wine itself printed on standard error
// (`complained`, such as "wine: '/home/x/.wine' is not owned by you"). The
// code is Wine's exit status or signal, not a system error.
[[noreturn]] void ThrowWineFailure(const Text& action, const Text& program, int status,
                                   const std::vector<std::string>& said, const std::vector<std::string>& complained,
                                   unsigned codePage);

} // namespace dss
