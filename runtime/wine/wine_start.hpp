#pragma once

#include "runtime/runtime.hpp"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// runtime/wine/: the road that starts a Windows program on Linux, through
// Wine's `start`, built on the POSIX primitives of runtime/posix/. This is
// its entry; the POSIX runtime takes it for a file with a Windows header.
namespace dss {

// The arguments after the Wine command that start the Windows program at
// `path` (the bytes of `program`) as Windows would start it: through Wine's
// `start`, minimized where asked, in the launcher's working folder, with `arguments`
// split into words by Windows' rules. Wine is given the file the kernel
// finds at `path`, its folders resolved through links and "..", as Wine
// itself would resolve ".." by the text alone.
//
// Throws RuntimeError with `action` where Wine would find another file or a
// device by that name, or none, and where the command line would be longer
// than Wine can pass on.
std::vector<std::string> WineStartArguments(const Text& action, const Text& program, const std::string& path,
                                            const std::string& arguments, bool minimized);

// Starts the Windows program at `path` through Wine's `start`, which
// creates the program as Windows does (with the show state) and only then
// ends: its status tells whether the program could be created, and what it
// prints tells why not. Waits for that answer, which takes half a minute
// where Wine first sets up its prefix, while the main loop goes on; `busy`
// is told true meanwhile and false after. Returns the id of Wine's start.
// Throws RuntimeError with `action` where WineStartArguments refuses, where
// Wine cannot be started (the system's error) or where it could not start
// the program (Wine's exit status, and what Wine said).
std::uint32_t StartWindowsProgram(const Text& action, const Text& program, const std::string& path,
                                  const std::string& arguments, bool minimized,
                                  const std::function<void(bool busy)>& busy);

} // namespace dss
