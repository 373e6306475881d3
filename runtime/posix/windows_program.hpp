#pragma once

#include <string>

// Which road a file takes on Linux: the kernel's, or Wine's for a Windows
// program.
namespace dss {

enum class ProgramFormat {
    // Anything else: Linux runs it itself.
    Other,
    // The DOS header "MZ", leading to a Windows (PE or NE) header.
    Windows,
    // "MZ" and no Windows header after it: a DOS program, or a damaged or
    // cut-short download. Wine would hand it to its DOS support, which
    // needs DOSBox, and still report a successful start.
    DosOnly,
};

// Reads the headers of `path`. Only a regular file is ever opened: opening
// a FIFO or a device can act on it.
ProgramFormat ExamineProgram(const std::string& path);

} // namespace dss
