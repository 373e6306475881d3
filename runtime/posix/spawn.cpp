#include "runtime/posix/spawn.hpp"

#include "runtime/posix/descriptors.hpp"
#include "runtime/posix/posix_error.hpp"
#include "runtime/posix/standard_descriptors.hpp"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <spawn.h>
#include <unistd.h>

namespace dss {
namespace {

// Each init is checked (it allocates in glibc); destroy runs only after an
// init that succeeded.
class SpawnFileActions {
public:
    SpawnFileActions() : error_(posix_spawn_file_actions_init(&actions_)) {}
    ~SpawnFileActions()
    {
        if (error_ == 0) {
            posix_spawn_file_actions_destroy(&actions_);
        }
    }
    SpawnFileActions(const SpawnFileActions&) = delete;
    SpawnFileActions& operator=(const SpawnFileActions&) = delete;
    int Error() const { return error_; }
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
    int error_;
};

class SpawnAttributes {
public:
    SpawnAttributes() : error_(posix_spawnattr_init(&attributes_)) {}
    ~SpawnAttributes()
    {
        if (error_ == 0) {
            posix_spawnattr_destroy(&attributes_);
        }
    }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    int Error() const { return error_; }
    posix_spawnattr_t* get() { return &attributes_; }

private:
    posix_spawnattr_t attributes_;
    int error_;
};

// An ignored SIGCHLD, inherited through exec from whatever started the
// launcher, makes the kernel reap children at once, so that their end and
// status are lost; a blocked one keeps the main loop from hearing of it.
// Returns the system's error number, 0 on success.
int HearChildrenEnd()
{
    struct sigaction current {};
    if (sigaction(SIGCHLD, nullptr, &current) != 0) {
        return errno;
    }
    if (current.sa_handler == SIG_IGN || (current.sa_flags & SA_NOCLDWAIT) != 0) {
        struct sigaction standard {};
        standard.sa_handler = SIG_DFL;
        sigemptyset(&standard.sa_mask);
        if (sigaction(SIGCHLD, &standard, nullptr) != 0) {
            return errno;
        }
    }
    sigset_t child;
    sigemptyset(&child);
    sigaddset(&child, SIGCHLD);
    return pthread_sigmask(SIG_UNBLOCK, &child, nullptr);
}

} // namespace

int Spawn(const Text& action, pid_t& pid, const std::string& file, const std::vector<char*>& argv, char* const* envp,
          bool search, Redirection redirection)
{
    SpawnFileActions actions;
    if (actions.Error() != 0) {
        return actions.Error();
    }
    if (redirection.output >= 0) {
        if (const int error = posix_spawn_file_actions_adddup2(actions.get(), redirection.output, STDOUT_FILENO)) {
            return error;
        }
    }
    if (redirection.errors >= 0) {
        if (const int error = posix_spawn_file_actions_adddup2(actions.get(), redirection.errors, STDERR_FILENO)) {
            return error;
        }
    }
    // After the redirections, which may read from a descriptor in 0-2.
    const int output = redirection.output >= 0 ? STDOUT_FILENO : -1;
    const int errors = redirection.errors >= 0 ? STDERR_FILENO : -1;
    if (const int error = OpenMissingStandardDescriptors(actions.get(), {output, errors})) {
        return error;
    }
    // Only standard input, output and error pass to the server.
    PassOnlyStandardDescriptors(action);
    if (const int error = HearChildrenEnd()) {
        return error;
    }

    SpawnAttributes attributes;
    if (attributes.Error() != 0) {
        return attributes.Error();
    }
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    // A session of its own: the server outlives the launcher and the
    // terminal it may have been started from.
    for (const int error :
         {posix_spawnattr_setsigmask(attributes.get(), &none), posix_spawnattr_setsigdefault(attributes.get(), &all),
          posix_spawnattr_setflags(attributes.get(),
                                   POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF)}) {
        if (error != 0) {
            return error;
        }
    }
    if (search) {
        return posix_spawnp(&pid, file.c_str(), actions.get(), attributes.get(), argv.data(), envp);
    }
    return posix_spawn(&pid, file.c_str(), actions.get(), attributes.get(), argv.data(), envp);
}

Pipe OpenPipe(const Text& action, const Text& subject)
{
    int ends[2] = {-1, -1};
    if (pipe2(ends, O_CLOEXEC) != 0) {
        ThrowErrno(action, subject, errno);
    }
    Pipe pipe{UniqueFd(ends[0]), UniqueFd(ends[1])};
    const int flags = fcntl(pipe.read.get(), F_GETFL);
    if (flags < 0 || fcntl(pipe.read.get(), F_SETFL, flags | O_NONBLOCK) != 0) {
        ThrowErrno(action, subject, errno);
    }
    return pipe;
}

} // namespace dss
