#include "runtime/runtime.hpp"
#include "runtime/system_text.hpp"
#include "runtime/win32/batch_file.hpp"
#include "runtime/win32/last_error.hpp"
#include "runtime/win32/unique_handle.hpp"
#include "runtime/windows_rules/command_line_limits.hpp"

#include <windows.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

namespace dss {
namespace {

std::wstring Wide(const Text& text)
{
    return std::wstring(text.begin(), text.end());
}

// Explorer's "Copy as path" puts a path in double quotes, the form a path
// with spaces takes on a command line. No Windows name contains a double
// quote, so one pair around the whole path is taken off for the file
// itself; a command line keeps the path as typed.
std::wstring FileName(const Text& path)
{
    if (path.size() >= 2 && path.front() == u'"' && path.back() == u'"') {
        return Wide(path.substr(1, path.size() - 2));
    }
    return Wide(path);
}

// CREATE_BREAKAWAY_FROM_JOB when the launcher runs inside a job (some
// consoles, IDEs and schedulers start programs in one that kills them all when
// it closes), so that the server does not end with the launcher's job.
DWORD BreakawayFlag()
{
    BOOL inJob = FALSE;
    if (!IsProcessInJob(GetCurrentProcess(), nullptr, &inJob) || !inJob) {
        return 0;
    }
    // Where the job lets every child leave by itself, no flag is needed. A
    // job that does not report JOB_OBJECT_LIMIT_BREAKAWAY_OK is still asked:
    // Wine 8 reports no limit flags for any job, and the system's answer to
    // the flag itself is what counts (see the retry in Shell).
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    if (QueryInformationJobObject(nullptr, JobObjectExtendedLimitInformation, &limits, sizeof limits,
                                  nullptr) &&
        (limits.BasicLimitInformation.LimitFlags & JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK) != 0) {
        return 0;
    }
    return CREATE_BREAKAWAY_FROM_JOB;
}

class Win32Runtime final : public Runtime {
public:
    Text AppPath() override
    {
        // Module paths may exceed MAX_PATH; grow until the whole path fits.
        std::wstring buffer(MAX_PATH, L'\0');
        for (;;) {
            const DWORD length =
                GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
            if (length == 0) {
                ThrowLastError(u"The launcher's own folder could not be found.", u"");
            }
            if (length < buffer.size()) {
                buffer.resize(length);
                break;
            }
            buffer.resize(buffer.size() * 2);
        }
        std::wstring folder = buffer.substr(0, buffer.find_last_of(L"\\/"));
        // "C:" alone means the current folder of drive C, not its root.
        if (folder.size() == 2 && folder[1] == L':') {
            folder += L'\\';
        }
        return Text(folder.begin(), folder.end());
    }

    char16_t FolderSeparator() const override { return u'\\'; }

    std::uint32_t GetAttr(const Text& path) override
    {
        constexpr char16_t kAction[] = u"The file could not be examined.";
        RejectEmbeddedNull(kAction, path, ERROR_INVALID_NAME);
        const std::wstring file = FileName(path);
        const DWORD attributes = GetFileAttributesW(file.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            ThrowLastError(kAction, path);
        }
        return attributes;
    }

    std::uint32_t Shell(const Text& program, const Text& commandLine, int showState) override
    {
        constexpr char16_t kAction[] = u"The server could not be started.";
        RejectEmbeddedNull(kAction, commandLine, ERROR_INVALID_PARAMETER);
        RejectEmbeddedNull(kAction, program, ERROR_INVALID_NAME);

        // Naming the application keeps Windows from searching the unquoted
        // command line word by word ("C:\Program.exe" for "C:\Program
        // Files\...") or along the search path; the command line itself
        // reaches the server unchanged.
        ProcessStart process{FileName(program), Wide(commandLine)};
        if (IsBatchFile(kAction, program, process.application)) {
            // cmd.exe would read an unquoted path only up to its first space
            // or &: it gets the path in quotes, and the rest as it stands.
            if (commandLine.compare(0, program.size(), program) != 0) {
                throw std::invalid_argument("The command line does not begin with the program's path.");
            }
            process = BatchFileStart(kAction, program, process.application, Wide(commandLine.substr(program.size())));
        }
        // Refused here, with the code Windows gives, rather than left to a
        // system that may cut it short and start the server anyway (Wine).
        RejectOverlongCommandLine(kAction, program, process.commandLine.size(), ERROR_FILENAME_EXCED_RANGE);

        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(showState);
        PROCESS_INFORMATION started{};
        // CreateProcessW may write to the command line: a copy for each try.
        std::wstring line;
        // The system's error, read before anything (freeing a string) can change it; 0 on success.
        const auto start = [&](DWORD flags) -> DWORD {
            line = process.commandLine;
            const bool created = CreateProcessW(process.application.c_str(), line.data(), nullptr, nullptr, FALSE,
                                                flags, nullptr, nullptr, &startup, &started) != FALSE;
            return created ? ERROR_SUCCESS : GetLastError();
        };
        const DWORD breakaway = BreakawayFlag();
        DWORD error = start(breakaway);
        // A job that forbids breakaway refuses the flag with ERROR_ACCESS_DENIED;
        // the server then starts inside it, as any child would.
        if (error == ERROR_ACCESS_DENIED && breakaway != 0) {
            error = start(0);
        }
        if (error != ERROR_SUCCESS) {
            ThrowWindowsError(kAction, program, error);
        }
        const UniqueHandle processHandle(started.hProcess);
        const UniqueHandle threadHandle(started.hThread);
        return started.dwProcessId;
    }

    int MsgBox(const Text& prompt, int style, const Text& title) override
    {
        // Converted first: temporaries freed after the call could change
        // its last error before it is read.
        const std::wstring text = Wide(prompt);
        const std::wstring caption = Wide(title);
        const int result = MessageBoxW(GetActiveWindow(), text.c_str(), caption.c_str(), static_cast<UINT>(style));
        if (result == 0) {
            ThrowLastError(u"A message could not be shown.", title);
        }
        return result;
    }

    void End() override { std::exit(EXIT_SUCCESS); }
};

} // namespace

Runtime& SystemRuntime()
{
    static Win32Runtime runtime;
    return runtime;
}

} // namespace dss
