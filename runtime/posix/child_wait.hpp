#pragma once

#include <string>
#include <sys/types.h>

namespace dss {

struct ChildEnd {
    // As waitpid reports it.
    int status = 0;
    // What the child wrote, up to a few kilobytes.
    std::string output;
};

// Waits for the child `pid` to end while the program's main loop goes on,
// so that its windows stay responsive, and collects what the child writes
// into the pipe whose read end is `output` (closed here). The pipe may stay
// open after the child ends (whatever the child started holds it too), so
// the child's end, not the pipe's, ends the wait.
ChildEnd AwaitChild(pid_t pid, int output);

} // namespace dss
