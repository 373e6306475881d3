#pragma once

#include "runtime/runtime.hpp"

#include <string>
#include <vector>

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

} // namespace dss
