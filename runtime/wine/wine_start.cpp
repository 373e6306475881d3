#include "runtime/wine/wine_start.hpp"

#include "runtime/posix/windows_program.hpp"
#include "runtime/windows_rules/windows_words.hpp"
#include "runtime/wine/wine_command_line.hpp"
#include "runtime/system_text.hpp"
#include "runtime/utf.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace dss {
namespace {

struct FreeDeleter {
    void operator()(char* text) const noexcept { std::free(text); }
};
using MallocedText = std::unique_ptr<char, FreeDeleter>;

[[noreturn]] void ThrowErrno(const Text& action, const Text& subject, int code, const Text& what)
{
    throw RuntimeError(action, subject, code, what + FromUtf8(std::strerror(code)));
}

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

} // namespace dss
