#include "launch/launch_action.hpp"
#include "launch/launch_settings.hpp"
#include "runtime/runtime.hpp"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>
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
        for (const Text& file : {server_, decoy_, report_, folder_ + u"\\readme.txt"}) {
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
        if (fields.size() != 3) {
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

TEST_F(Win32RuntimeTest, PassesALongCommandLineWhole)
{
    const Text commandLine = ServerCommandLine(server_, u"m", Text(30000, u'ж'));
    const ProbeReport report = Collect(SystemRuntime().Shell(server_, commandLine, kMinimizedFocus));
    EXPECT_EQ(report.commandLine, commandLine);
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
        }
    }
    EXPECT_EQ(GetFileAttributesW(Wide(report_).c_str()), INVALID_FILE_ATTRIBUTES);
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
