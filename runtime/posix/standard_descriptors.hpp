#pragma once

#include <initializer_list>
#include <spawn.h>

namespace dss {

// Adds to `actions` the opening of /dev/null as each of standard input,
// output and error that a program started with them would otherwise lack:
// closed in the launcher (as some menus and service managers start it), or
// open there only for the launcher's own use (close-on-exec), where its
// next open file would become the program's standard output. `supplied`
// are those that `actions` already give it. Returns the system's error
// number, 0 on success.
int OpenMissingStandardDescriptors(posix_spawn_file_actions_t* actions, std::initializer_list<int> supplied);

} // namespace dss
