// Stands in for the game server: records its own image path, the command
// line, show state and working folder it was started with in the file named by
// DSS_PROBE_REPORT (UTF-16, fields ended by NUL), then exits. With
// DSS_PROBE_DELAY_MS it first waits that long, so that a test can end what
// started it and see whether the probe outlives it. With DSS_PROBE_SPLIT it
// also records the words Windows finds in its command line and in that
// text (CommandLineToArgvW), each list as a count and then the words.
#include <windows.h>

#include <shellapi.h>

#include <cwchar>
#include <string>

namespace {

void AppendWords(std::wstring& out, const wchar_t* commandLine)
{
    int count = 0;
    wchar_t** words = CommandLineToArgvW(commandLine, &count);
    out += std::to_wstring(words ? count : -1);
    out += L'\0';
    for (int i = 0; words && i < count; ++i) {
        out += words[i];
        out += L'\0';
    }
    LocalFree(words);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    wchar_t report[4096] = {};
    if (GetEnvironmentVariableW(L"DSS_PROBE_REPORT", report, 4096) == 0) {
        return 2;
    }
    wchar_t delay[16] = {};
    if (GetEnvironmentVariableW(L"DSS_PROBE_DELAY_MS", delay, 16) != 0) {
        Sleep(static_cast<DWORD>(std::wcstoul(delay, nullptr, 10)));
    }
    std::wstring out;
    wchar_t self[4096] = {};
    GetModuleFileNameW(nullptr, self, 4096);
    out += self;
    out += L'\0';
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;
    out += std::to_wstring(show);
    out += L'\0';
    out += GetCommandLineW();
    out += L'\0';
    wchar_t folder[4096] = {};
    GetCurrentDirectoryW(4096, folder);
    out += folder;
    out += L'\0';
    if (const DWORD size = GetEnvironmentVariableW(L"DSS_PROBE_SPLIT", nullptr, 0)) {
        std::wstring text(size, L'\0');
        text.resize(GetEnvironmentVariableW(L"DSS_PROBE_SPLIT", text.data(), size));
        AppendWords(out, GetCommandLineW());
        AppendWords(out, text.c_str());
    }

    // Written aside and renamed, so a reader never sees half a report.
    const std::wstring partial = std::wstring(report) + L".partial";
    HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 3;
    }
    DWORD written = 0;
    WriteFile(file, out.data(), static_cast<DWORD>(out.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
    return MoveFileExW(partial.c_str(), report, MOVEFILE_REPLACE_EXISTING) ? 0 : 4;
}
