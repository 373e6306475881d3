#pragma once

#include "runtime/runtime.hpp"

#include <cstddef>

namespace dss {

// A name handed to the system as a C string ends at its first null
// character, so the system would act on a shorter name than the one given.
// Such names are refused with `code`, the system's "invalid argument".
void RejectEmbeddedNull(const Text& action, const Text& name, long code);

// The longest command line a Windows program can be given: CreateProcessW
// takes 32,767 characters with the terminating null. Windows refuses a
// longer one (error 206) and Wine cuts it short, so it is refused before
// anything starts, the same way on every system.
inline constexpr std::size_t kMaxWindowsCommandLine = 32766;

// Refuses, with `code`, a command line of `length` characters that is
// longer than a Windows program can be given: `limit`, where the way it is
// started leaves less than Windows' own.
void RejectOverlongCommandLine(const Text& action, const Text& program, std::size_t length, long code,
                               std::size_t limit = kMaxWindowsCommandLine);

} // namespace dss
