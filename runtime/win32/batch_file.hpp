#pragma once

#include "runtime/runtime.hpp"

#include <string>

// Windows runs a batch file through cmd.exe, which finds the file by reading
// the text of the command line, not by the name CreateProcessW was given.
namespace dss {

// What CreateProcessW is given: the file that runs and its command line.
struct ProcessStart {
    std::wstring application;
    std::wstring commandLine;
};

// True when Windows would hand `file` to cmd.exe. Throws RuntimeError, about
// `subject`, when the file cannot be read to tell.
bool IsBatchFile(const Text& action, const Text& subject, const std::wstring& file);

// cmd.exe from the system folder, running the batch file `file` with its path
// as one quoted word, followed by `arguments` as they stand. Throws
// RuntimeError when the path holds a character that cmd.exe would read as
// something else even in quotes.
ProcessStart BatchFileStart(const Text& action, const Text& subject, const std::wstring& file,
                            const std::wstring& arguments);

} // namespace dss
