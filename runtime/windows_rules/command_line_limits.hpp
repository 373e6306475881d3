#pragma once

#include "runtime/runtime.hpp"

#include <cstddef>

// How long a command line Windows takes.
namespace dss {

// The longest command line a Windows program can be given: CreateProcessW
// takes 32,767 characters with the terminating null. Windows refuses a
// longer one (error 206) and Wine cuts it short, so it is refused before
// anything starts, the same way on every system.
inline constexpr std::size_t kMaxWindowsCommandLine = 32766;

// cmd.exe reads a command of at most 8,191 characters ("the maximum length
// of the string that you can use at the command prompt"); Wine's cmd.exe
// cuts a longer one short and runs what is left.
inline constexpr std::size_t kMaxBatchCommand = 8191;

// Refuses, with `code`, a command line of `length` characters that is
// longer than a Windows program can be given: `limit`, where the way it is
// started leaves less than Windows' own.
void RejectOverlongCommandLine(const Text& action, const Text& program, std::size_t length, long code,
                               std::size_t limit = kMaxWindowsCommandLine);

// Refuses, with `code`, a batch file's command (its quoted path and
// arguments) longer than cmd.exe reads.
void RejectOverlongBatchCommand(const Text& action, const Text& program, std::size_t length, long code);

} // namespace dss
