#pragma once

#include "runtime/runtime.hpp"

#include <string_view>

// Windows runs a batch file through cmd.exe, which finds the file by reading
// the text of the command line, not by the name CreateProcessW was given.
namespace dss {

// Windows' own error numbers for the refusals below (ERROR_INVALID_NAME and
// ERROR_FILENAME_EXCED_RANGE), so that they read as Windows' would.
inline constexpr long kWindowsInvalidName = 123;
inline constexpr long kWindowsNameTooLong = 206;

// The test CreateProcessW makes: ".bat" or ".cmd" after the last dot of the
// name, in any case. "run.bat." and "run.bat " are not batch files to it.
bool HasBatchExtension(std::u16string_view file);

// Refuses a batch file's path that holds a character cmd.exe gives a
// meaning to even in quotes.
void RejectUnquotableBatchPath(const Text& action, const Text& subject, std::u16string_view file);

// The command line on which `cmd` (cmd.exe's full path) runs the batch file
// `file` with its path as one quoted word, followed by `arguments` as they
// stand. Refuses a command longer than cmd.exe reads.
Text BatchCommandLine(const Text& action, const Text& subject, const Text& cmd, const Text& file,
                      const Text& arguments);

} // namespace dss
