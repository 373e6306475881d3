#include "runtime/wine/wine_start.hpp"

#include "runtime/posix/child_wait.hpp"
#include "runtime/posix/posix_error.hpp"
#include "runtime/posix/spawn.hpp"
#include "runtime/utf.hpp"
#include "runtime/windows_rules/command_line_limits.hpp"
#include "runtime/windows_rules/windows_names.hpp"
#include "runtime/windows_rules/windows_words.hpp"
#include "runtime/wine/wine_command_line.hpp"
#include "runtime/wine/wine_failure.hpp"
#include "runtime/wine/wine_locale.hpp"

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace dss {
namespace {

struct FreeDeleter {
    void operator()(char* text) const noexcept { std::free(text); }
};
using MallocedText = std::unique_ptr<char, FreeDeleter>;

// The program's folder as the kernel resolves it (links, "." and ".."),
// and its own name as it is: the kernel follows a link there too, and a
// Windows program knows itself by that name.
std::string ResolvedProgram(const Text& action, const Text& program, const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    const MallocedText real(realpath(folder.c_str(), nullptr));
    if (!real) {
        ThrowErrno(action, program, errno, u"Its folder could not be resolved: ");
    }
    const std::string resolved = real.get();
    return (resolved == "/" ? "" : resolved) + "/" + name;
}

std::string WorkingFolder(const Text& action, const Text& program)
{
    const MallocedText folder(getcwd(nullptr, 0));
    if (!folder) {
        ThrowErrno(action, program, errno, u"The launcher's working folder, where the server would run, is gone: ");
    }
    return folder.get();
}

// Every Wine prefix maps drive Z: to the root folder.
std::string WindowsPath(const std::string& path)
{
    std::string windows = "Z:" + path;
    for (char& c : windows) {
        if (c == '/') {
            c = '\\';
        }
    }
    return windows;
}

// Wine's own tools name the Wine command in WINE; otherwise it is found on PATH.
std::string WineCommand()
{
    const char* wine = std::getenv("WINE");
    return wine != nullptr && *wine != '\0' ? wine : "wine";
}

std::vector<std::string> Environment()
{
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        environment.emplace_back(*entry);
    }
    return environment;
}

// Told true and then false, even when the wait ends in an exception.
class BusyWhileAlive {
public:
    explicit BusyWhileAlive(const std::function<void(bool busy)>& busy) : busy_(busy) { Tell(true); }
    ~BusyWhileAlive() { Tell(false); }
    BusyWhileAlive(const BusyWhileAlive&) = delete;
    BusyWhileAlive& operator=(const BusyWhileAlive&) = delete;

private:
    void Tell(bool busy) const
    {
        if (busy_) {
            busy_(busy);
        }
    }
    const std::function<void(bool busy)>& busy_;
};

} // namespace

std::vector<std::string> WineStartArguments(const Text& action, const Text& program, const std::string& path,
                                            const std::string& arguments, bool minimized)
{
    const std::string resolved = ResolvedProgram(action, program, path);
    if (const auto problem = WindowsNameProblem(resolved)) {
        throw RuntimeError(action, program, EINVAL, *problem);
    }
    // `start` would run the server in the program's own folder; the server
    // runs where the launcher was started, as on Windows.
    const std::string folder = WorkingFolder(action, program);
    if (const auto problem = WindowsNameProblem(folder)) {
        throw RuntimeError(action, program, EINVAL,
                           u"The server would run in the launcher's working folder, " + FromSystemBytes(folder) +
                               u". " + *problem);
    }

    const std::vector<std::string> words = SplitWindowsWords(arguments);
    std::vector<std::string> start{"start", "/d", WindowsPath(folder)};
    if (minimized) {
        start.emplace_back("/min");
    }
    start.insert(start.end(), {"/unix", resolved});
    start.insert(start.end(), words.begin(), words.end());

    // `start` gets the program and its words and more on its own command
    // line; what that leaves for the server's is the limit here.
    const std::size_t server = WineCommandLineLength(resolved, words);
    const std::size_t overhead = WineStartCommandLineLength({start.begin() + 1, start.end()}) - server;
    const std::size_t limit = overhead < kMaxWindowsCommandLine ? kMaxWindowsCommandLine - overhead : 0;
    RejectOverlongCommandLine(action, program, server, E2BIG, limit);
    return start;
}

std::uint32_t StartWindowsProgram(const Text& action, const Text& program, const std::string& path,
                                  const std::string& arguments, bool minimized,
                                  const std::function<void(bool busy)>& busy)
{
    std::vector<std::string> start = WineStartArguments(action, program, path, arguments, minimized);
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

    Pipe output = OpenPipe(action, program);
    Pipe errors = OpenPipe(action, program);
    pid_t pid = 0;
    const Redirection redirection{output.write.get(), errors.write.get()};
    if (const int result = Spawn(action, pid, wine, argv, envp.data(), true, redirection)) {
        ThrowErrno(action, program, result,
                   u"It is a Windows program, and Wine is needed to run it on Linux. The command \"" + FromUtf8(wine) +
                       u"\" could not be started: ");
    }
    output.write.Reset();
    errors.write.Reset();
    OutputLines said;
    OutputLines complained(+[](std::string_view line) { return !IsWineDebugNoise(line); });
    int status = 0;
    {
        const BusyWhileAlive waiting(busy);
        std::vector<ChildOutput> outputs;
        outputs.push_back({std::move(output.read), &said});
        // What Wine writes on standard error still reaches the launcher's,
        // as before, while the launcher waits.
        outputs.push_back({std::move(errors.read), &complained, STDERR_FILENO});
        status = AwaitChild(pid, std::move(outputs));
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        return static_cast<std::uint32_t>(pid);
    }
    ThrowWineFailure(action, program, status, said.Finish(), complained.Finish(), locale.oemCodePage);
}

} // namespace dss
