#include "runtime/win32/batch_file.hpp"

#include "runtime/win32/last_error.hpp"
#include "runtime/win32/unique_handle.hpp"
#include "runtime/windows_rules/batch_line.hpp"

#include <windows.h>

namespace dss {
namespace {

Text FromWide(const std::wstring& text)
{
    return Text(text.begin(), text.end());
}

std::wstring Wide(const Text& text)
{
    return std::wstring(text.begin(), text.end());
}

// The system folder, however long its path.
std::wstring SystemFolder(const Text& action, const Text& subject)
{
    std::wstring folder(MAX_PATH, L'\0');
    for (;;) {
        const UINT length = GetSystemDirectoryW(folder.data(), static_cast<UINT>(folder.size()));
        if (length == 0) {
            ThrowLastError(action, subject);
        }
        // Too small a buffer: the length with the null is returned, and no
        // last error is set.
        if (length < folder.size()) {
            folder.resize(length);
            return folder;
        }
        folder.resize(length);
    }
}

} // namespace

bool IsBatchFile(const Text& action, const Text& subject, const std::wstring& file)
{
    if (!HasBatchExtension(FromWide(file))) {
        return false;
    }
    // A program image runs as a program whatever its name, as Windows runs it.
    const HANDLE opened = CreateFileW(file.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        ThrowLastError(action, subject);
    }
    const UniqueHandle handle(opened);
    char header[2] = {};
    DWORD read = 0;
    if (!ReadFile(handle.get(), header, sizeof header, &read, nullptr)) {
        ThrowLastError(action, subject);
    }
    return read < sizeof header || header[0] != 'M' || header[1] != 'Z';
}

ProcessStart BatchFileStart(const Text& action, const Text& subject, const std::wstring& file,
                            const std::wstring& arguments)
{
    RejectUnquotableBatchPath(action, subject, FromWide(file));
    // From the system folder: a cmd.exe in the current folder or named by
    // COMSPEC is not the one Windows means.
    const std::wstring cmd = SystemFolder(action, subject) + L"\\cmd.exe";
    return {cmd, Wide(BatchCommandLine(action, subject, FromWide(cmd), FromWide(file), FromWide(arguments)))};
}

} // namespace dss
