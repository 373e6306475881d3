#pragma once

#include "runtime/posix/unique_fd.hpp"
#include "runtime/runtime.hpp"

#include <string>
#include <sys/types.h>
#include <vector>

// Starting a program on Linux: the primitive both roads use, a Linux
// program's and Wine's.
namespace dss {

// Where a started program's standard output and error go; -1 leaves them
// as the launcher's.
struct Redirection {
    int output = -1;
    int errors = -1;
};

// Starts `file` (searched on PATH only when `search`) with `argv` and
// `envp` in a session of its own, its standard output and error where
// `redirection` says, and with no other descriptor of the launcher's.
// Returns the system's error number, 0 on success; glibc reports a failed
// exec here, not through the child's exit. Throws RuntimeError, with
// `action`, when the launcher's descriptors cannot be listed.
int Spawn(const Text& action, pid_t& pid, const std::string& file, const std::vector<char*>& argv, char* const* envp,
          bool search, Redirection redirection = {});

// A pipe whose ends are closed on exec, its read end non-blocking for a
// main loop to read.
struct Pipe {
    UniqueFd read;
    UniqueFd write;
};

// Throws RuntimeError about `subject` when no pipe can be made.
Pipe OpenPipe(const Text& action, const Text& subject);

} // namespace dss
