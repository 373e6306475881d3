#include "runtime/posix/descriptors.hpp"
#include "runtime/posix/message_box.hpp"
#include "runtime/posix/shell_words.hpp"
#include "runtime/posix/windows_words.hpp"
#include "runtime/posix/wine_command_line.hpp"
#include "runtime/runtime.hpp"
#include "runtime/system_text.hpp"
#include "runtime/utf.hpp"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
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

// The words after the program. A Windows program will read its command
// line by Windows' rules, so that is how its words are found; Wine then
// rebuilds from them a command line that the program splits back into the
// same words. For a Linux program quotes and backslashes group words as in
// a shell. Nothing is expanded, so no field can run a command.
std::vector<std::string> ArgumentWords(const Text& program, bool windowsProgram, const std::string& arguments)
{
    if (windowsProgram) {
        return SplitWindowsWords(arguments);
    }
    try {
        return SplitShellWords(arguments);
    } catch (const std::invalid_argument& error) {
        throw RuntimeError(kStartAction, program, EINVAL,
                           u"Its arguments cannot be read: " + FromUtf8(error.what()));
    }
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// True when `path` is a regular file that begins with "MZ", the header of
// DOS and Windows programs. Anything else is never opened: opening a FIFO
// wakes a writer waiting on it, whose data is then lost, and opening a
// device can act on it (a serial port resets the board behind it, a tape
// rewinds).
bool IsWindowsProgram(const std::string& path)
{
    // O_PATH names the file without opening it, so it can be examined first.
    const FileDescriptor named(open(path.c_str(), O_PATH | O_CLOEXEC));
    struct stat status {};
    if (named.get() < 0 || fstat(named.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return false;
    }
    // Reopened through the descriptor, not the name: this is the file just
    // seen to be regular, even if the name has since been given to another.
    const std::string self = "/proc/self/fd/" + std::to_string(named.get());
    const FileDescriptor file(open(self.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        return false;
    }
    char header[2] = {};
    ssize_t length = 0;
    do {
        length = read(file.get(), header, sizeof header);
    } while (length < 0 && errno == EINTR);
    return length == 2 && header[0] == 'M' && header[1] == 'Z';
}

// Wine's own tools name the Wine command in WINE; otherwise it is found on PATH.
std::string WineCommand()
{
    const char* wine = std::getenv("WINE");
    return wine != nullptr && *wine != '\0' ? wine : "wine";
}

// Starts `file` (searched on PATH only when `search`) with `argv` in a
// session of its own. Returns the system's error number, 0 on success.
int Spawn(pid_t& pid, const std::string& file, const std::vector<char*>& argv, bool search)
{
    SpawnFileActions actions;
    // Only standard input, output and error pass to the server.
    PassOnlyStandardDescriptors(kStartAction);

    SpawnAttributes attributes;
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(attributes.get(), &none);
    posix_spawnattr_setsigdefault(attributes.get(), &all);
    // A session of its own: the server outlives the launcher and the
    // terminal it may have been started from.
    posix_spawnattr_setflags(attributes.get(),
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    // glibc reports a failed exec here, not through the child's exit.
    if (search) {
        return posix_spawnp(&pid, file.c_str(), actions.get(), attributes.get(), argv.data(), environ);
    }
    return posix_spawn(&pid, file.c_str(), actions.get(), attributes.get(), argv.data(), environ);
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

    // The show state has no meaning for an arbitrary Linux program and is
    // not applied, nor passed to Wine: the server decides how its own
    // windows appear.
    std::uint32_t Shell(const Text& program, const Text& commandLine, int /*showState*/) override
    {
        if (commandLine.compare(0, program.size(), program) != 0) {
            throw std::invalid_argument("the command line must begin with the program");
        }
        RejectEmbeddedNull(kStartAction, commandLine, EINVAL);

        const std::string path = ToSystemBytes(program);
        // Directly or through a binfmt handler, a Windows program runs under Wine.
        const bool runsUnderWine = IsWindowsProgram(path);
        std::vector<std::string> words = ArgumentWords(program, runsUnderWine,
            ToSystemBytes(std::u16string_view(commandLine).substr(program.size())));
        if (runsUnderWine) {
            // Wine would refuse it after the launcher has ended, and nothing
            // would run.
            RejectOverlongCommandLine(kStartAction, program, WineCommandLineLength(path, words), E2BIG);
        }
        std::vector<char*> argv;
        argv.reserve(words.size() + 3);
        argv.push_back(const_cast<char*>(path.c_str()));
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);

        // posix_spawn, not posix_spawnp: the checked path runs, never a
        // namesake found on PATH.
        pid_t pid = 0;
        int result = Spawn(pid, path, argv, false);
        // A Windows program that Linux itself cannot run (no binfmt handler
        // for it: ENOEXEC; no execute bit: EACCES) runs through Wine.
        if ((result == ENOEXEC || result == EACCES) && runsUnderWine) {
            const std::string wine = WineCommand();
            // Wine reads a first word "--help" or "--version" as its own option.
            const std::string windowsProgram = path.starts_with('-') ? "./" + path : path;
            argv.front() = const_cast<char*>(windowsProgram.c_str());
            argv.insert(argv.begin(), const_cast<char*>(wine.c_str()));
            result = Spawn(pid, wine, argv, true);
            if (result != 0) {
                throw RuntimeError(kStartAction, program, result,
                                   u"It is a Windows program, and Wine is needed to run it on Linux. "
                                   u"The command \"" + FromUtf8(wine) + u"\" could not be started: " +
                                       SystemMessage(result));
            }
        }
        if (result != 0) {
            ThrowErrno(kStartAction, program, result);
        }
        return static_cast<std::uint32_t>(pid);
    }

    int MsgBox(const Text& prompt, int style, const Text& title) override
    {
        return ShowMessageBox(prompt, style, title);
    }

    void End() override { std::exit(EXIT_SUCCESS); }
};

} // namespace

Runtime& SystemRuntime()
{
    static PosixRuntime runtime;
    return runtime;
}

} // namespace dss
