// The Linux runtime: the system's services, and which road a program takes
// when it is started, the kernel's or Wine's (runtime/wine/).
#include "runtime/posix/exec_failure.hpp"
#include "runtime/posix/message_box.hpp"
#include "runtime/posix/posix_error.hpp"
#include "runtime/posix/shell_words.hpp"
#include "runtime/posix/spawn.hpp"
#include "runtime/posix/windows_program.hpp"
#include "runtime/runtime.hpp"
#include "runtime/system_text.hpp"
#include "runtime/utf.hpp"
#include "runtime/wine/wine_start.hpp"

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace dss {
namespace {

constexpr char16_t kStartAction[] = u"The server could not be started.";

class PosixRuntime final : public Runtime {
public:
    Text AppPath() override
    {
        std::string buffer(256, '\0');
        for (;;) {
            const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
            if (length < 0) {
                ThrowErrno(u"The launcher's own folder could not be found.", u"/proc/self/exe", errno);
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
            return StartWindowsProgram(kStartAction, program, path, arguments, showState == kMinimizedFocus,
                                       [this](bool busy) { IndicateBusy(busy); });
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
                                       ErrnoMessage(examined.readError) + u".");
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
        // namesake found on PATH.
        pid_t pid = 0;
        if (const int result = Spawn(kStartAction, pid, path, argv, environ, false); result != 0) {
            const Text reason = ExecFailureReason(path, result);
            if (readError == 0) {
                throw RuntimeError(kStartAction, program, result, reason);
            }
            throw RuntimeError(kStartAction, program, result,
                               u"It could not be read to see whether it is a Windows program: " +
                                   ErrnoMessage(readError) + u".\nLinux could not run it: " + reason);
        }
        return static_cast<std::uint32_t>(pid);
    }
};

} // namespace

Runtime& SystemRuntime()
{
    static PosixRuntime runtime;
    return runtime;
}

} // namespace dss
