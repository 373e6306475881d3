// The launcher takes no DLL from its own folder or from the working folder.
// Both hold DLLs named like those it loads once it runs, each recording who
// loaded it (planted_dll.cpp). The names come from WINEDLLOVERRIDES, which
// tells Wine to prefer such DLLs to its own, as Windows does for every DLL
// outside its KnownDLLs list (CMakeLists.txt says which names and why).
// The launcher must still work. (That the common controls are still those
// of its manifest is checked in-process, main_window_win32_test.cpp: under
// QEMU no Windows process can read another's module list.)
#include "launch/texts.hpp"
#include "window/layout.hpp"
#include "window/win32/main_window_win32.hpp"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace dss::win32 {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr wchar_t kLauncher[] = L"DedicatedServerStarter.exe";

// The DLLs that WINEDLLOVERRIDES ("a,b=n,b") tells Wine to take from a
// folder first. Wine reads it from the environment it was started in, not
// from what a Windows program passes to its child.
std::vector<std::wstring> PreferredNativeDlls()
{
    wchar_t value[1024] = {};
    const DWORD length = GetEnvironmentVariableW(L"WINEDLLOVERRIDES", value, 1024);
    const std::wstring overrides(value, length < 1024 ? length : 0);
    const std::size_t equals = overrides.find(L'=');
    if (equals == std::wstring::npos || overrides.substr(equals) != L"=n,b") {
        return {};
    }
    std::vector<std::wstring> names;
    for (std::size_t start = 0; start < equals;) {
        const std::size_t end = std::min(overrides.find(L',', start), equals);
        names.push_back(overrides.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

struct HandleCloser {
    void operator()(HANDLE handle) const noexcept { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

// The launcher's visible window, once process `processId` shows it.
HWND LauncherWindow(DWORD processId)
{
    const std::u16string_view caption = texts::kProgramTitle;
    const std::wstring title(caption.begin(), caption.end());
    for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, nullptr, title.c_str()));) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && IsWindowVisible(window)) {
            return window;
        }
    }
    return nullptr;
}

// The programs that loaded a planted DLL, one a line, in UTF-16.
std::wstring LoadedBy(const fs::path& dll)
{
    std::ifstream in(fs::path(dll).concat(L".loaded"), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::wstring lines(bytes.size() / sizeof(wchar_t), L'\0');
    std::copy_n(bytes.data(), lines.size() * sizeof(wchar_t), reinterpret_cast<char*>(lines.data()));
    return lines;
}

class PlantedDlls : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.get(), 99);
            WaitForSingleObject(process_.get(), 10000);
        }
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    fs::path root_ = fs::temp_directory_path() / ("dss-planted-" + std::to_string(GetCurrentProcessId()));
    UniqueHandle process_;
};

TEST_F(PlantedDlls, TheLauncherLoadsNoneOfThemAndStillStartsTheServer)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const fs::path bin = fs::path(self).parent_path();
    const fs::path game = root_ / L"game";
    const fs::path work = root_ / L"work";
    const fs::path launcher = game / kLauncher;
    const fs::path report = root_ / L"probe-report";
    fs::create_directories(game);
    fs::create_directories(work);
    fs::copy_file(bin / kLauncher, launcher);
    const std::u16string_view server = texts::kGameExecutable;
    fs::copy_file(bin / L"probe.exe", game / std::wstring(server.begin(), server.end()));
    const std::vector<std::wstring> planted = PreferredNativeDlls();
    ASSERT_FALSE(planted.empty()) << "no WINEDLLOVERRIDES=<names>=n,b";
    for (const std::wstring& name : planted) {
        for (const fs::path& folder : {game, work}) {
            fs::copy_file(bin / L"planted.dll", folder / (name + L".dll"));
        }
    }
    SetEnvironmentVariableW(L"DSS_PROBE_REPORT", report.c_str());

    std::wstring commandLine = L"\"" + launcher.wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    ASSERT_TRUE(CreateProcessW(launcher.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               work.c_str(), &startup, &started));
    process_.reset(started.hProcess);
    const UniqueHandle thread(started.hThread);
    HWND window = nullptr;
    for (int tries = 0; !(window = LauncherWindow(started.dwProcessId)) && tries < 1500; ++tries) {
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_NE(window, nullptr) << "the launcher showed no window";
    // The preset names the stand-in server beside the launcher.
    const HWND button = GetDlgItem(window, ControlIdentifier(layout::ControlId::Command1));
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(ControlIdentifier(layout::ControlId::Command1), BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
    ASSERT_EQ(WaitForSingleObject(process_.get(), 30000), WAIT_OBJECT_0) << "the launcher stayed";
    DWORD status = 1;
    GetExitCodeProcess(process_.get(), &status);
    EXPECT_EQ(status, 0u);
    for (int tries = 0; !fs::exists(report) && tries < 1500; ++tries) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_TRUE(fs::exists(report)) << "the server did not start";

    // The server, started from the same folder, is the game's own business.
    for (const std::wstring& name : planted) {
        for (const fs::path& folder : {game, work}) {
            const fs::path dll = folder / (name + L".dll");
            EXPECT_EQ(LoadedBy(dll).find(launcher.filename().wstring()), std::wstring::npos)
                << dll.string() << " was loaded into the launcher";
        }
    }
}

} // namespace
} // namespace dss::win32
