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
    // A Windows header whose file header, optional header or section table
    // runs past the end of the file: a cut-short download or copy. Wine's
    // `start` would open box after box of its own about it.
    Damaged,
    // The file could not be read. Linux may still run it: a program may be
    // executable by a user who cannot read it (mode 711).
    Unreadable,
};

struct ProgramExamination {
    ProgramFormat format = ProgramFormat::Other;
    // The system's error number where the format is Unreadable.
    int readError = 0;
};

// Reads the headers of `path`. Only a regular file is ever opened: opening
// a FIFO or a device can act on it.
ProgramExamination ExamineProgram(const std::string& path);

} // namespace dss
