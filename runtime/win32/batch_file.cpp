#include "runtime/win32/batch_file.hpp"

#include "runtime/win32/last_error.hpp"
#include "runtime/win32/unique_handle.hpp"

#include <windows.h>

namespace dss {
namespace {

// The test CreateProcessW makes: the text after the last dot of the name, in
// any case. "run.bat." and "run.bat " are not batch files to it (error 193).
bool HasBatchExtension(const std::wstring& file)
{
    const std::size_t dot = file.rfind(L'.');
    if (dot == std::wstring::npos) {
        return false;
    }
    std::wstring extension = file.substr(dot);
    for (wchar_t& character : extension) {
        if (character >= L'A' && character <= L'Z') {
            character = static_cast<wchar_t>(character - L'A' + L'a');
        }
    }
    return extension == L".bat" || extension == L".cmd";
}

// Characters that cmd.exe gives a meaning to inside quotes too, and why the
// path cannot hold them.
struct Unquotable {
    wchar_t character;
    const char16_t* reason;
};
constexpr Unquotable kUnquotable[] = {
    {L'%', u"Windows runs a batch file through cmd.exe, which replaces text between % signs with the value "
           u"of a variable, even in quotes, so this path could name another file. Rename the folder or the "
           u"file so that the path has no %."},
    {L'"', u"A Windows name cannot hold a double quote (\"), and cmd.exe, which runs a batch file, would end "
           u"the path there and run another file."},
};

// cmd.exe reads a command of at most 8,191 characters ("the maximum length
// of the string that you can use at the command prompt"); Wine's cmd.exe
// cuts a longer one short and runs what is left.
constexpr std::size_t kMaxCommand = 8191;

} // namespace

bool IsBatchFile(const Text& action, const Text& subject, const std::wstring& file)
{
    if (!HasBatchExtension(file)) {
        return false;
    }
    // A program image runs as a program whatever its name, as Windows runs it.
    const HANDLE opened = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        ThrowLastError(action, subject);
    }
    const UniqueHandle handle(opened);
    char header[2] = {};
    DWORD read = 0;
    if (!ReadFile(opened, header, sizeof header, &read, nullptr)) {
        ThrowLastError(action, subject);
    }
    return read < sizeof header || header[0] != 'M' || header[1] != 'Z';
}

ProcessStart BatchFileStart(const Text& action, const Text& subject, const std::wstring& file,
                            const std::wstring& arguments)
{
    for (const Unquotable& unquotable : kUnquotable) {
        if (file.find(unquotable.character) != std::wstring::npos) {
            throw RuntimeError(action, subject, ERROR_INVALID_NAME, unquotable.reason);
        }
    }
    // From the system folder: a cmd.exe in the current folder or named by
    // COMSPEC is not the one Windows means.
    wchar_t system[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        ThrowLastError(action, subject);
    }
    const std::wstring command = L'"' + file + L'"' + arguments;
    if (command.size() > kMaxCommand) {
        const std::string count = std::to_string(command.size());
        throw RuntimeError(action, subject, ERROR_FILENAME_EXCED_RANGE,
                           u"Windows runs a batch file through cmd.exe, which takes a command of at most 8191 "
                           u"characters; this one has " +
                               Text(count.begin(), count.end()) + u". Shorten the map or the other arguments.");
    }
    const std::wstring cmd = std::wstring(system, length) + L"\\cmd.exe";
    // With /s, cmd.exe takes off the first and the last quotation mark and
    // runs the rest as it stands, whatever it holds; without it, the result
    // depends on how many quotes there are and what lies between them.
    // /v:off keeps ! literal even where the registry turns delayed expansion
    // on (Windows honours that setting; Wine's cmd.exe ignores it).
    return {cmd, L'"' + cmd + L"\" /v:off /s /c \"" + command + L'"'};
}

} // namespace dss
