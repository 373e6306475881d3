#pragma once

#include "runtime/posix/output_lines.hpp"
#include "runtime/posix/unique_fd.hpp"

#include <sys/types.h>
#include <vector>

namespace dss {

// The non-blocking read end of a pipe the child writes into, where its
// lines go, and a descriptor that gets a copy of every byte, where that is
// not -1.
struct ChildOutput {
    UniqueFd fd;
    OutputLines* lines;
    int echo = -1;
};

// Waits for the child `pid` to end while the program's main loop goes on,
// so that its windows stay responsive, and collects what the child writes
// into the pipes of `outputs`. A pipe may stay open after the
// child ends (whatever the child started holds it too), so the child's end,
// not the pipe's, ends the wait. Returns the status as waitpid reports it.
int AwaitChild(pid_t pid, std::vector<ChildOutput> outputs);

} // namespace dss
