#include "runtime/posix/child_wait.hpp"
#include "runtime/posix/descriptors.hpp"
#include "runtime/posix/exec_failure.hpp"
#include "runtime/posix/message_box.hpp"
#include "runtime/posix/shell_words.hpp"
#include "runtime/posix/standard_descriptors.hpp"
#include "runtime/posix/windows_program.hpp"
#include "runtime/posix/wine_locale.hpp"
#include "runtime/posix/wine_start.hpp"
#include "runtime/runtime.hpp"
#include "runtime/system_text.hpp"
#include "runtime/utf.hpp"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace dss {
namespace {

constexpr char16_t kStartAction[] = u"The server could not be started.";

Text SystemMessage(int code)
{
    return FromUtf8(std::strerror(code));
}

[[noreturn]] void ThrowErrno(const Text& action, const Text& subject, int code)
{
    throw RuntimeError(action, subject, code, SystemMessage(code));
}

class SpawnFileActions {
public:
    SpawnFileActions() { posix_spawn_file_actions_init(&actions_); }
    ~SpawnFileActions() { posix_spawn_file_actions_destroy(&actions_); }
    SpawnFileActions(const SpawnFileActions&) = delete;
    SpawnFileActions& operator=(const SpawnFileActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

class SpawnAttributes {
public:
    SpawnAttributes() { posix_spawnattr_init(&attributes_); }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    posix_spawnattr_t* get() { return &attributes_; }

private:
    posix_spawnattr_t attributes_;
};

class Pipe {
public:
    Pipe()
    {
        if (pipe2(ends_, O_CLOEXEC) != 0) {
            ends_[0] = ends_[1] = -1;
        }
    }
    ~Pipe()
    {
        CloseWriteEnd();
        if (ends_[0] >= 0) {
            close(ends_[0]);
        }
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    bool IsOpen() const { return ends_[0] >= 0; }
    int WriteEnd() const { return ends_[1]; }
    void CloseWriteEnd()
    {
        if (ends_[1] >= 0) {
            close(ends_[1]);
            ends_[1] = -1;
        }
    }
    int ReleaseReadEnd() { return std::exchange(ends_[0], -1); }

private:
    int ends_[2];
};

// Wine's own tools name the Wine command in WINE; otherwise it is found on PATH.
std::string WineCommand()
{
    const char* wine = std::getenv("WINE");
    return wine != nullptr && *wine != '\0' ? wine : "wine";
}

// Why Wine's `start` could not start the program: what `start` printed
// (such as "ShellExecuteEx failed: Bad EXE format for Z:\..."), in the
// OEM code page, then what Wine itself printed on standard error (such as
// "wine: '/home/x/.wine' is not owned by you"), or else how it ended.
Text WineFailure(int status, const std::vector<std::string>& said, const std::vector<std::string>& complained,
                 unsigned codePage)
{
    Text reason;
    for (const std::string& line : said) {
        reason += u"\n" + FromCodePage(line, codePage);
    }
    for (const std::string& line : complained) {
        reason += u"\n" + FromSystemBytes(line);
    }
    if (!reason.empty()) {
        return u"Wine could not start it:" + reason;
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : WTERMSIG(status);
    const std::string number = std::to_string(code);
    return (WIFEXITED(status) ? u"Wine's start command ended with status "
                              : u"Wine's start command was ended by signal ") +
           Text(number.begin(), number.end()) + u".";
}

// An ignored SIGCHLD, inherited through exec from whatever started the
// launcher, makes the kernel reap children at once, so that their end and
// status are lost; a blocked one keeps the main loop from hearing of it.
void HearChildrenEnd()
{
    struct sigaction current {};
    sigaction(SIGCHLD, nullptr, &current);
    if (current.sa_handler == SIG_IGN || (current.sa_flags & SA_NOCLDWAIT) != 0) {
        struct sigaction standard {};
        standard.sa_handler = SIG_DFL;
        sigemptyset(&standard.sa_mask);
        sigaction(SIGCHLD, &standard, nullptr);
    }
    sigset_t child;
    sigemptyset(&child);
    sigaddset(&child, SIGCHLD);
    pthread_sigmask(SIG_UNBLOCK, &child, nullptr);
}

struct Redirection {
    int output = -1;
    int errors = -1;
};

// Starts `file` (searched on PATH only when `search`) with `argv` and
// `envp` in a session of its own, its standard output and error where
// `redirection` says. Returns the system's error number, 0 on success.
int Spawn(pid_t& pid, const std::string& file, const std::vector<char*>& argv, char* const* envp, bool search,
          Redirection redirection = {})
{
    SpawnFileActions actions;
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
    PassOnlyStandardDescriptors(kStartAction);
    HearChildrenEnd();

    SpawnAttributes attributes;
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    // A session of its own: the server outlives the launcher and the
    // terminal it may have been started from.
    for (const int error : {posix_spawnattr_setsigmask(attributes.get(), &none),
                            posix_spawnattr_setsigdefault(attributes.get(), &all),
                            posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK |
                                                                           POSIX_SPAWN_SETSIGDEF)}) {
        if (error != 0) {
            return error;
        }
    }

    // glibc reports a failed exec here, not through the child's exit.
    if (search) {
        return posix_spawnp(&pid, file.c_str(), actions.get(), attributes.get(), argv.data(), envp);
    }
    return posix_spawn(&pid, file.c_str(), actions.get(), attributes.get(), argv.data(), envp);
}

std::vector<std::string> Environment()
{
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        environment.emplace_back(*entry);
    }
    return environment;
}

class PosixRuntime final : public Runtime {
public:
    Text AppPath() override
    {
        std::string buffer(256, '\0');
        for (;;) {
            const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
            if (length < 0) {
                ThrowErrno(u"The launcher's own folder could not be found.", u"/proc/self/exe",
                           errno);
            }
            if (static_cast<std::size_t>(length) < buffer.size()) {
                buffer.resize(static_cast<std::size_t>(length));
                break;
            }
            buffer.resize(buffer.size() * 2);
        }
        const std::size_t slash = buffer.rfind('/');
        buffer.resize(slash == 0 ? 1 : slash);
        return FromSystemBytes(buffer);
    }

    char16_t FolderSeparator() const override { return u'/'; }

    std::uint32_t GetAttr(const Text& path) override
    {
        constexpr char16_t kAction[] = u"The file could not be examined.";
        RejectEmbeddedNull(kAction, path, EINVAL);
        struct stat status {};
        if (stat(ToSystemBytes(path).c_str(), &status) != 0) {
            ThrowErrno(kAction, path, errno);
        }
        return S_ISDIR(status.st_mode) ? kDirectoryAttribute : 0;
    }

    std::uint32_t Shell(const Text& program, const Text& commandLine, int showState) override
    {
        if (commandLine.compare(0, program.size(), program) != 0) {
            throw std::invalid_argument("the command line must begin with the program");
        }
        RejectEmbeddedNull(kStartAction, commandLine, EINVAL);
        const std::string path = ToSystemBytes(program);
        const std::string arguments = ToSystemBytes(std::u16string_view(commandLine).substr(program.size()));
        const ProgramExamination examined = ExamineProgram(path);
        switch (examined.format) {
        case ProgramFormat::Windows:
            return StartWindowsProgram(program, path, arguments, showState == kMinimizedFocus);
        case ProgramFormat::DosOnly:
            throw RuntimeError(kStartAction, program, ENOEXEC,
                               u"It begins as a Windows program does, but has no Windows program in it: it is a DOS "
                               u"program, or a damaged or incomplete file. Wine cannot start it.");
        case ProgramFormat::Damaged:
            throw RuntimeError(kStartAction, program, ENOEXEC,
                               u"It is a Windows program, but it ends within its own headers: it is damaged or "
                               u"incomplete (a download or copy that did not finish). Wine cannot start it.");
        case ProgramFormat::Unreadable:
            // Not knowing whether it is a Windows program, the launcher
            // lets Linux try it where a user may run what they cannot read.
            if (examined.readError != EACCES && examined.readError != EPERM) {
                throw RuntimeError(kStartAction, program, examined.readError,
                                   u"It could not be read to see whether it is a Windows program: " +
                                       SystemMessage(examined.readError) + u".");
            }
            break;
        case ProgramFormat::Other:
            break;
        }
        return StartLinuxProgram(program, path, arguments, examined.readError);
    }

    int MsgBox(const Text& prompt, int style, const Text& title) override
    {
        return ShowMessageBox(prompt, style, title);
    }

    void End() override { std::exit(EXIT_SUCCESS); }

private:
    // The show state has no meaning for an arbitrary Linux program and is
    // not applied: the server decides how its own windows appear. Quotes and
    // backslashes group words as in a shell; nothing is expanded, so no
    // field can run a command.
    // `readError`, where not 0, is why the file could not be read, which
    // the reason tells along with Linux's own.
    static std::uint32_t StartLinuxProgram(const Text& program, const std::string& path, const std::string& arguments,
                                           int readError)
    {
        std::vector<std::string> words;
        try {
            words = SplitShellWords(arguments);
        } catch (const std::invalid_argument& error) {
            throw RuntimeError(kStartAction, program, EINVAL,
                               u"Its arguments cannot be read: " + FromUtf8(error.what()));
        }
        std::vector<char*> argv{const_cast<char*>(path.c_str())};
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        // posix_spawn, not posix_spawnp: the checked path runs, never a
        // namesake found on PATH. glibc reports a failed exec here.
        pid_t pid = 0;
        if (const int result = Spawn(pid, path, argv, environ, false); result != 0) {
            const Text reason = ExecFailureReason(path, result);
            if (readError == 0) {
                throw RuntimeError(kStartAction, program, result, reason);
            }
            throw RuntimeError(kStartAction, program, result,
                               u"It could not be read to see whether it is a Windows program: " +
                                   SystemMessage(readError) + u".\nLinux could not run it: " + reason);
        }
        return static_cast<std::uint32_t>(pid);
    }

    // Through Wine's `start`, which creates the program as Windows does
    // (with the show state) and only then ends: its status tells whether
    // the program could be created, and what it prints tells why not. The
    // launcher waits for that answer, which takes half a minute where Wine
    // first sets up its prefix; the window goes on meanwhile.
    std::uint32_t StartWindowsProgram(const Text& program, const std::string& path, const std::string& arguments,
                                      bool minimized) const
    {
        std::vector<std::string> start = WineStartArguments(kStartAction, program, path, arguments, minimized);
        const std::string wine = WineCommand();
        std::vector<char*> argv{const_cast<char*>(wine.c_str())};
        for (std::string& argument : start) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);

        // Wine reads the arguments and names in the encoding of LC_CTYPE;
        // the launcher's bytes are UTF-8.
        WineLocale locale = WineLocaleFor(Environment());
        std::vector<char*> envp;
        for (std::string& entry : locale.environment) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);

        Pipe output;
        Pipe errors;
        if (!output.IsOpen() || !errors.IsOpen()) {
            ThrowErrno(kStartAction, program, errno);
        }
        pid_t pid = 0;
        const int result = Spawn(pid, wine, argv, envp.data(), true, {output.WriteEnd(), errors.WriteEnd()});
        if (result != 0) {
            throw RuntimeError(kStartAction, program, result,
                               u"It is a Windows program, and Wine is needed to run it on Linux. The command \"" +
                                   FromUtf8(wine) + u"\" could not be started: " + SystemMessage(result));
        }
        output.CloseWriteEnd();
        // What Wine writes on standard error still reaches the launcher's,
        // as before, while the launcher waits.
        errors.CloseWriteEnd();
        IndicateBusy(true);
        OutputLines said;
        OutputLines complained(+[](std::string_view line) { return !IsWineDebugNoise(line); });
        int status = 0;
        try {
            status = AwaitChild(pid, {{output.ReleaseReadEnd(), &said},
                                      {errors.ReleaseReadEnd(), &complained, STDERR_FILENO}});
        } catch (...) {
            IndicateBusy(false);
            throw;
        }
        IndicateBusy(false);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
            return static_cast<std::uint32_t>(pid);
        }
        throw RuntimeError(kStartAction, program, WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                           WineFailure(status, said.Finish(), complained.Finish(), locale.oemCodePage));
    }
};

} // namespace

Runtime& SystemRuntime()
{
    static PosixRuntime runtime;
    return runtime;
}

} // namespace dss
