// Stands in for a DLL that someone dropped into the launcher's folder or
// its working folder, under the name of one that the launcher loads. When
// loaded, it appends the path of the program that loaded it to a file
// beside it, named like itself plus ".loaded". It needs only kernel32,
// which Windows never takes from such a folder.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH) {
        return TRUE;
    }
    wchar_t marker[MAX_PATH + 8] = {};
    wchar_t line[4096] = {};
    if (GetModuleFileNameW(self, marker, MAX_PATH) == 0 || GetModuleFileNameW(nullptr, line, 4000) == 0) {
        return TRUE;
    }
    lstrcatW(marker, L".loaded");
    lstrcatW(line, L"\n");
    const HANDLE file = CreateFileW(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, line, static_cast<DWORD>(lstrlenW(line) * sizeof(wchar_t)), &written, nullptr);
        CloseHandle(file);
    }
    return TRUE;
}
