#include "runtime/posix/standard_descriptors.hpp"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace dss {

int OpenMissingStandardDescriptors(posix_spawn_file_actions_t* actions, std::initializer_list<int> supplied)
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (std::find(supplied.begin(), supplied.end(), fd) != supplied.end()) {
            continue;
        }
        const int flags = fcntl(fd, F_GETFD);
        if (flags < 0 && errno != EBADF) {
            return errno;
        }
        if (flags >= 0 && (flags & FD_CLOEXEC) == 0) {
            continue;
        }
        // Read and write, as daemon(3) opens it: a program may do either
        // with any of the three.
        if (const int error = posix_spawn_file_actions_addopen(actions, fd, "/dev/null", O_RDWR, 0)) {
            return error;
        }
    }
    return 0;
}

} // namespace dss
