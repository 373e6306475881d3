#include "runtime/posix/descriptors.hpp"

#include "runtime/posix/posix_error.hpp"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace dss {
namespace {

constexpr char16_t kListing[] = u"/proc/self/fd";

struct DirectoryCloser {
    void operator()(DIR* directory) const { closedir(directory); }
};

[[noreturn]] void Fail(const Text& action, int code)
{
    ThrowErrno(action, kListing, code);
}

} // namespace

// The kernel's list of open descriptors works on every kernel and C library
// the launcher runs on. posix_spawn_file_actions_addclosefrom_np needs glibc
// 2.34, and close_range(CLOSE_RANGE_CLOEXEC) Linux 5.11, newer than Debian
// 11's own kernel (5.10): a faster way for newer systems would leave the way
// older ones take untested, to save microseconds on a dozen descriptors.
// Marked rather than closed: the launcher ends once the server has started,
// and a descriptor that a spawn action dup2s onto 0-2 still reaches it.
void PassOnlyStandardDescriptors(const Text& action)
{
    const std::unique_ptr<DIR, DirectoryCloser> listing(opendir("/proc/self/fd"));
    if (!listing) {
        Fail(action, errno);
    }
    const int own = dirfd(listing.get());
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(listing.get());
        if (entry == nullptr) {
            if (errno != 0) {
                Fail(action, errno);
            }
            return;
        }
        char* end = nullptr;
        const long number = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || number <= STDERR_FILENO || number == own) {
            continue;
        }
        const int fd = static_cast<int>(number);
        int flags = fcntl(fd, F_GETFD);
        // Closed by another thread since it was listed: nothing to pass on.
        if (flags < 0 && errno == EBADF) {
            continue;
        }
        if (flags >= 0 && (flags & FD_CLOEXEC) == 0) {
            flags = fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
        }
        if (flags < 0) {
            Fail(action, errno);
        }
    }
}

} // namespace dss
