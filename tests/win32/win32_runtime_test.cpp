#include "launch/launch_action.hpp"
#include "launch/launch_settings.hpp"
#include "runtime/runtime.hpp"
#include "runtime/windows_rules/command_line_limits.hpp"
#include "runtime/utf.hpp"
#include "runtime/win32/last_error.hpp"
#include "tests/fakes.hpp"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace dss {
namespace {

std::wstring Wide(const Text& text) { return std::wstring(text.begin(), text.end()); }
Text Narrow(const std::wstring& text) { return Text(text.begin(), text.end()); }

struct ProbeReport {
    Text self;
    int showState = -2;
    Text commandLine;
};

class HandleGuard {
public:
    explicit HandleGuard(HANDLE handle) : handle_(handle) {}
    ~HandleGuard() { if (handle_) CloseHandle(handle_); }
    HandleGuard(const HandleGuard&) = delete;
    HandleGuard& operator=(const HandleGuard&) = delete;
    HANDLE get() const { return handle_; }
    void reset()
    {
        if (handle_) CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    HANDLE handle_;
};

// A folder whose name has spaces and non-ASCII letters holding a copy of
// the probe, and a decoy "My.exe" where Windows would look first for the
// unquoted path "...\My Server ...\server.exe".
class Win32RuntimeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH] = {};
        ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
        root_ = Narrow(temp) + u"dss-runtime-" + Narrow(std::to_wstring(GetCurrentProcessId()));
        folder_ = root_ + u"\\My Server Папка 服务器 🎮";
        ASSERT_TRUE(CreateDirectoryW(Wide(root_).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        ASSERT_TRUE(CreateDirectoryW(Wide(folder_).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        const Text probe = SystemRuntime().AppPath() + u"\\probe.exe";
        server_ = folder_ + u"\\server.exe";
        decoy_ = root_ + u"\\My.exe";
        ASSERT_TRUE(CopyFileW(Wide(probe).c_str(), Wide(server_).c_str(), FALSE));
        ASSERT_TRUE(CopyFileW(Wide(probe).c_str(), Wide(decoy_).c_str(), FALSE));
        report_ = root_ + u"\\report";
        DeleteFileW(Wide(report_).c_str());
        SetEnvironmentVariableW(L"DSS_PROBE_REPORT", Wide(report_).c_str());
    }

    void TearDown() override
    {
        SetEnvironmentVariableW(L"DSS_PROBE_DELAY_MS", nullptr);
        for (const Text& file : {server_, decoy_, report_, folder_ + u"\\readme.txt", folder_ + u"\\library.dll",
                                 root_ + u"\\pid"}) {
            DeleteFileW(Wide(file).c_str());
        }
        RemoveDirectoryW(Wide(folder_).c_str());
        RemoveDirectoryW(Wide(root_).c_str());
    }

    ProbeReport Collect(std::uint32_t pid)
    {
        HandleGuard process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid));
        if (process.get()) {
            EXPECT_EQ(WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
        }
        for (int i = 0; i < 300 && GetFileAttributesW(Wide(report_).c_str()) == INVALID_FILE_ATTRIBUTES; ++i) {
            Sleep(100);
        }
        std::ifstream in(Wide(report_).c_str(), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        Text all(bytes.size() / 2, u'\0');
        std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(all.size() * 2),
                  reinterpret_cast<char*>(all.data()));
        std::vector<Text> fields;
        for (std::size_t start = 0, end; (end = all.find(u'\0', start)) != Text::npos; start = end + 1) {
            fields.push_back(all.substr(start, end - start));
        }
        ProbeReport report;
        if (fields.size() < 3) {
            ADD_FAILURE() << "no complete report";
            return report;
        }
        report.self = fields[0];
        report.showState = std::stoi(std::string(fields[1].begin(), fields[1].end()));
        report.commandLine = fields[2];
        return report;
    }

    Text root_, folder_, server_, decoy_, report_;
};

TEST_F(Win32RuntimeTest, StartsTheCheckedFileWithTheExactCommandLineMinimized)
{
    const Text commandLine =
        ServerCommandLine(server_, u"missions/Карта 地図 🎮.mis", u"-name \"Friday  Night\" %PATH% ^& x");
    const ProbeReport report = Collect(SystemRuntime().Shell(server_, commandLine, kMinimizedFocus));
    EXPECT_EQ(report.self, server_) << "the decoy ran";
    EXPECT_EQ(report.commandLine, commandLine);
    EXPECT_EQ(report.showState, 2);
}

// Windows takes a command line of at most 32,766 characters (with error 206
// beyond) and Wine cuts a longer one short; the launcher refuses it first.
TEST_F(Win32RuntimeTest, PassesTheLongestCommandLineWholeAndRefusesALongerOne)
{
    const auto line = [&](std::size_t padding) {
        return ServerCommandLine(server_, u"m", Text(padding, u'ж') + u" -port 28000");
    };
    const std::size_t padding = kMaxWindowsCommandLine - line(0).size();
    const Text longest = line(padding);
    ASSERT_EQ(longest.size(), 32766u);

    const Text refusedReport = root_ + u"\\refused";
    SetEnvironmentVariableW(L"DSS_PROBE_REPORT", Wide(refusedReport).c_str());
    try {
        SystemRuntime().Shell(server_, line(padding + 1), kMinimizedFocus);
        ADD_FAILURE() << "started";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Code(), ERROR_FILENAME_EXCED_RANGE);
        EXPECT_EQ(error.Subject(), server_);
        EXPECT_NE(error.Reason().find(u"32767"), Text::npos) << ToUtf8(error.Reason());
    }
    SetEnvironmentVariableW(L"DSS_PROBE_REPORT", Wide(report_).c_str());

    const ProbeReport report = Collect(SystemRuntime().Shell(server_, longest, kMinimizedFocus));
    EXPECT_EQ(report.commandLine, longest);
    // By now a server started with the longer line would have reported too.
    EXPECT_EQ(GetFileAttributesW(Wide(refusedReport).c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteFileW(Wide(refusedReport).c_str());
}

TEST_F(Win32RuntimeTest, NeverSearchesForABareName)
{
    wchar_t before[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, before);
    SetCurrentDirectoryW(Wide(folder_).c_str());
    EXPECT_THROW(SystemRuntime().Shell(u"My.exe", u"My.exe -dedicated -mission m ", kMinimizedFocus),
                 RuntimeError);
    SetCurrentDirectoryW(before);
    EXPECT_EQ(GetFileAttributesW(Wide(report_).c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Win32RuntimeTest, ReportsWhatCannotBeStartedWithTheSystemsReason)
{
    const Text text = folder_ + u"\\readme.txt";
    std::ofstream(Wide(text).c_str()) << "not a program\r\n";
    for (const Text& program : {text, folder_ + u"\\missing.exe", folder_}) {
        try {
            SystemRuntime().Shell(program, program + u" -dedicated -mission m ", kMinimizedFocus);
            ADD_FAILURE() << "started";
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.Subject(), program);
            EXPECT_NE(error.Code(), 0);
            EXPECT_FALSE(error.Reason().empty());
            // The system's text for a foreign file names it with an insert.
            EXPECT_EQ(error.Reason().find(u"%1"), Text::npos) << ToUtf8(error.Reason());
            if (program == text) {
                EXPECT_NE(error.Reason().find(text), Text::npos) << ToUtf8(error.Reason());
            }
        }
    }
    EXPECT_EQ(GetFileAttributesW(Wide(report_).c_str()), INVALID_FILE_ATTRIBUTES);
}

// Failures that CreateProcessW reports beyond a missing or foreign file reach
// the caller too, with the system's code, and nothing runs.
TEST_F(Win32RuntimeTest, ReportsEveryFailureTheSystemReportsAtTheStart)
{
    const auto failure = [](const Text& program) {
        try {
            SystemRuntime().Shell(program, ServerCommandLine(program, u"m", u""), kMinimizedFocus);
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.Subject(), program);
            EXPECT_FALSE(error.Reason().empty());
            return error.Code();
        }
        ADD_FAILURE() << "started";
        return 0L;
    };
    // A DLL is a Windows module, but not a program.
    const Text library = folder_ + u"\\library.dll";
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    ASSERT_TRUE(CopyFileW((std::wstring(system) + L"\\kernel32.dll").c_str(), Wide(library).c_str(), FALSE));
    EXPECT_EQ(failure(library), ERROR_BAD_EXE_FORMAT);
    {
        // A server being replaced: open elsewhere without sharing.
        HandleGuard locked(CreateFileW(Wide(server_).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
        ASSERT_NE(locked.get(), INVALID_HANDLE_VALUE);
        EXPECT_EQ(failure(server_), ERROR_SHARING_VIOLATION);
    }
    EXPECT_EQ(GetFileAttributesW(Wide(report_).c_str()), INVALID_FILE_ATTRIBUTES);
}

// Some consoles, IDEs and schedulers run programs in a job that kills every
// process in it when the job closes. Here the launcher's Shell runs in such a
// job (shell_once stands in for the launcher), and the job closes as soon as
// it has ended, while the server is still waiting to write its report.
TEST_F(Win32RuntimeTest, TheServerOutlivesALauncherInAJobThatKillsOnClose)
{
    struct Case {
        const char* name;
        DWORD limits;
        bool leavesTheJob;
    };
    // Wine 8 supports all three; it reports no limit flags when asked
    // (QueryInformationJobObject), which the runtime allows for.
    const Case cases[] = {
        {"breakaway allowed", JOB_OBJECT_LIMIT_BREAKAWAY_OK, true},
        {"every child leaves silently", JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK, true},
        // The launch still succeeds; the server stays in the job and ends with it.
        {"breakaway forbidden", 0, false},
    };
    const Text helper = SystemRuntime().AppPath() + u"\\shell_once.exe";
    const Text pidFile = root_ + u"\\pid";
    const Text commandLine = ServerCommandLine(server_, u"m", u"-port 28000");
    SetEnvironmentVariableW(L"DSS_PROBE_DELAY_MS", L"3000");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW(Wide(report_).c_str());
        DeleteFileW(Wide(pidFile).c_str());
        HandleGuard job(CreateJobObjectW(nullptr, nullptr));
        ASSERT_NE(job.get(), nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | c.limits;
        ASSERT_TRUE(SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits));

        std::wstring line = Wide(u"\"" + helper + u"\" \"" + server_ + u"\" \"" + commandLine + u"\" \"" + pidFile + u"\"");
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION launcher{};
        ASSERT_TRUE(CreateProcessW(Wide(helper).c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                                   nullptr, nullptr, &startup, &launcher));
        HandleGuard launcherProcess(launcher.hProcess);
        HandleGuard launcherThread(launcher.hThread);
        ASSERT_TRUE(AssignProcessToJobObject(job.get(), launcher.hProcess));
        ResumeThread(launcher.hThread);
        ASSERT_EQ(WaitForSingleObject(launcher.hProcess, 30000), WAIT_OBJECT_0);
        DWORD status = 99;
        GetExitCodeProcess(launcher.hProcess, &status);
        ASSERT_EQ(status, 0u) << "the launch failed";

        DWORD pid = 0;
        std::ifstream(Wide(pidFile).c_str()) >> pid;
        HandleGuard server(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, pid));
        ASSERT_NE(server.get(), nullptr) << "the server ended before the job closed";
        // Whatever the outcome, no server is left running for the next test.
        const std::unique_ptr<void, void (*)(HANDLE)> stop(server.get(), [](HANDLE process) {
            TerminateProcess(process, 1);
        });
        BOOL inJob = TRUE;
        ASSERT_TRUE(IsProcessInJob(server.get(), job.get(), &inJob)) << GetLastError();
        EXPECT_EQ(inJob == FALSE, c.leavesTheJob);

        job.reset();
        ASSERT_EQ(WaitForSingleObject(server.get(), 30000), WAIT_OBJECT_0);
        if (c.leavesTheJob) {
            const ProbeReport report = Collect(pid);
            EXPECT_EQ(report.self, server_);
            EXPECT_EQ(report.commandLine, commandLine);
            EXPECT_EQ(report.showState, 2);
        } else {
            EXPECT_EQ(GetFileAttributesW(Wide(report_).c_str()), INVALID_FILE_ATTRIBUTES)
                << "the job did not end the server: this test could not tell breakaway from none";
        }
    }
}

TEST_F(Win32RuntimeTest, ExaminesFilesAsTheyAre)
{
    Runtime& runtime = SystemRuntime();
    SetFileAttributesW(Wide(server_).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);
    EXPECT_TRUE(FileExists(runtime, server_));
    SetFileAttributesW(Wide(server_).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_FALSE(FileExists(runtime, folder_));
    EXPECT_FALSE(FileExists(runtime, u""));
    EXPECT_FALSE(FileExists(runtime, folder_ + u"\\missing.exe"));
    EXPECT_FALSE(FileExists(runtime, server_ + Text(1, u'\0') + u"x"));
    EXPECT_THROW(runtime.GetAttr(folder_ + u"\\missing.exe"), RuntimeError);
    // One pair of double quotes around the whole path, as Explorer's "Copy
    // as path" gives it, and nothing else.
    EXPECT_TRUE(FileExists(runtime, u"\"" + server_ + u"\""));
    EXPECT_FALSE(FileExists(runtime, u"\"" + folder_ + u"\""));
    for (const Text& path : {u"\"" + server_, server_ + u"\"", u"\"\"" + server_ + u"\"\"", Text(u"\"\"")}) {
        EXPECT_FALSE(FileExists(runtime, path)) << ToUtf8(path);
    }
}

// cmd.exe runs a batch file and finds it by reading the command line's text:
// unquoted, "bat sp\run.bat" would run the decoy "bat.bat" and "a&b\Run.CMD"
// the decoy "a.bat"; %DSS_PCT% would be replaced even in quotes, running
// "pctdecoyx\run.bat". A program image named .bat runs as a program.
TEST_F(Win32RuntimeTest, RunsTheNamedBatchFileOrRefusesIt)
{
    std::vector<Text> made;
    const std::unique_ptr<std::vector<Text>, void (*)(std::vector<Text>*)> cleanup(&made, [](std::vector<Text>* paths) {
        for (auto path = paths->rbegin(); path != paths->rend(); ++path) {
            DeleteFileW(Wide(*path).c_str()) || RemoveDirectoryW(Wide(*path).c_str());
        }
    });
    made.push_back(root_ + u"\\batch.log");
    SetEnvironmentVariableW(L"DSS_BATCH_LOG", Wide(made.back()).c_str());
    SetEnvironmentVariableW(L"DSS_PCT", L"decoy");
    const auto batch = [&](const Text& folder, const Text& name) {
        if (CreateDirectoryW(Wide(folder).c_str(), nullptr)) made.push_back(folder);
        made.push_back(folder + u"\\" + name);
        // Redirection first: "28000>>" would redirect stream 0.
        std::ofstream(Wide(made.back()).c_str(), std::ios::binary) << "@>>\"%DSS_BATCH_LOG%\" echo \"%~f0\" %*\r\n";
        return made.back();
    };
    const Text spaced = batch(root_ + u"\\bat sp", u"run.bat");
    const Text ampersand = batch(root_ + u"\\a&b", u"Run.CMD");
    const Text percent = batch(root_ + u"\\pct%DSS_PCT%x", u"run.bat");
    const Text plain = batch(root_, u"plain.bat");
    const Text log = made.front();
    batch(root_, u"bat.bat");
    batch(root_, u"a.bat");
    batch(root_ + u"\\pctdecoyx", u"run.bat");

    std::string expected;
    const auto run = [&](const Text& path, const Text& file, const Text& others) {
        const Text line = ServerCommandLine(path, u"x", others);
        HandleGuard cmd(OpenProcess(SYNCHRONIZE, FALSE, SystemRuntime().Shell(path, line, kMinimizedFocus)));
        EXPECT_NE(WaitForSingleObject(cmd.get(), 30000), WAIT_TIMEOUT);
        expected += ToUtf8(u"\"" + file + u"\" " + line.substr(path.size() + 1)) + "\r\n";
    };
    run(spaced, spaced, u"y");
    run(ampersand, ampersand, u"-port 28000");
    run(u"\"" + plain + u"\"", plain, u"-name \"Friday Night\""); // as "Copy as path" gives it
    try {
        SystemRuntime().Shell(percent, ServerCommandLine(percent, u"x", u"y"), kMinimizedFocus);
        ADD_FAILURE() << "started";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Code(), ERROR_INVALID_NAME);
        EXPECT_NE(error.Reason().find(u"no %."), Text::npos) << ToUtf8(error.Reason());
    }
    try {
        SystemRuntime().Shell(plain, ServerCommandLine(plain, u"x", Text(8191, u'y')), kMinimizedFocus);
        ADD_FAILURE() << "a command longer than cmd.exe takes was started";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Code(), ERROR_FILENAME_EXCED_RANGE);
    }
    std::ifstream in(Wide(log).c_str(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), expected);

    made.push_back(root_ + u"\\image.bat");
    ASSERT_TRUE(CopyFileW(Wide(server_).c_str(), Wide(made.back()).c_str(), FALSE));
    const Text line = ServerCommandLine(made.back(), u"x", u"y");
    EXPECT_EQ(Collect(SystemRuntime().Shell(made.back(), line, kMinimizedFocus)).commandLine, line);
}

// The system's services, except that the end of the program is only noted
// and no message box is shown.
class StayingSystemRuntime final : public Runtime {
public:
    Text AppPath() override { return SystemRuntime().AppPath(); }
    char16_t FolderSeparator() const override { return SystemRuntime().FolderSeparator(); }
    std::uint32_t GetAttr(const Text& path) override { return SystemRuntime().GetAttr(path); }
    std::uint32_t Shell(const Text& program, const Text& commandLine, int showState) override
    {
        return started = SystemRuntime().Shell(program, commandLine, showState);
    }
    int MsgBox(const Text& prompt, int, const Text&) override
    {
        ADD_FAILURE() << ToUtf8(prompt);
        return kOkPressed;
    }
    void End() override { ended = true; }

    std::uint32_t started = 0;
    bool ended = false;
};

TEST_F(Win32RuntimeTest, LaunchesAPathInDoubleQuotesWithTheLineAsTyped)
{
    StayingSystemRuntime runtime;
    testing::FakeFields fields;
    const Text quoted = u"\"" + server_ + u"\"";
    fields.texts[SettingField::ExecutablePath] = quoted;
    fields.texts[SettingField::OtherArguments] = u"-port 28000";
    LaunchServer(runtime, fields);
    ASSERT_TRUE(runtime.ended);
    const ProbeReport report = Collect(runtime.started);
    EXPECT_EQ(report.self, server_);
    EXPECT_EQ(report.commandLine, quoted + u" -dedicated -mission base/data/missions/bedroom.mis -port 28000");
}

TEST(Win32Runtime, FillsTheFirstInsertOfASystemMessage)
{
    const Text path = u"C:\\100% Games\\readme.txt";
    EXPECT_EQ(FillFirstInsert(u"%1 is not a valid Win32 application.", path),
              path + u" is not a valid Win32 application.");
    EXPECT_EQ(FillFirstInsert(u"Put %2 (serial %3!lu!) in %1!s!: %10 %% %%1 %.%", path),
              u"Put %2 (serial %3!lu!) in " + path + u": %10 %% %%1 %.%");
}

TEST(Win32Runtime, AppPathIsTheFolderOfTheRunningProgram)
{
    wchar_t self[4096] = {};
    GetModuleFileNameW(nullptr, self, 4096);
    std::wstring folder(self);
    folder.resize(folder.find_last_of(L'\\'));
    EXPECT_EQ(SystemRuntime().AppPath(), Narrow(folder));
    EXPECT_EQ(SystemRuntime().FolderSeparator(), u'\\');
}

} // namespace
} // namespace dss
