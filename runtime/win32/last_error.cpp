#include "runtime/win32/last_error.hpp"

#include <windows.h>

#include <memory>

namespace dss {
namespace {

struct LocalFreeDeleter {
    void operator()(wchar_t* buffer) const noexcept { LocalFree(buffer); }
};

bool IsDigit(char16_t character)
{
    return character >= u'0' && character <= u'9';
}

// The message is asked for without arguments (FORMAT_MESSAGE_IGNORE_INSERTS):
// given fewer arguments than its inserts name, FormatMessageW reads past
// them, and may crash. Its inserts come back as they stand in the message.
Text SystemMessage(DWORD code)
{
    wchar_t* raw = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&raw), 0, nullptr);
    const std::unique_ptr<wchar_t, LocalFreeDeleter> buffer(raw);
    if (length == 0) {
        return u"Unknown error.";
    }
    Text message(raw, raw + length);
    while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r')) {
        message.pop_back();
    }
    return message;
}

} // namespace

Text FillFirstInsert(const Text& message, const Text& value)
{
    Text filled;
    for (std::size_t at = 0; at < message.size(); ++at) {
        if (message[at] != u'%' || at + 1 == message.size()) {
            filled += message[at];
            continue;
        }
        const std::size_t number = at + 1;
        if (message[number] < u'1' || message[number] > u'9') {
            // An escape ("%%", "%."): both characters, so that the second
            // starts no insert.
            filled.append(message, at, 2);
            ++at;
            continue;
        }
        // Inserts run from %1 to %99, optionally followed by a format "!...!".
        std::size_t end = number + 1;
        if (end < message.size() && IsDigit(message[end])) {
            ++end;
        }
        const bool first = end == number + 1 && message[number] == u'1';
        if (end < message.size() && message[end] == u'!') {
            if (const std::size_t closing = message.find(u'!', end + 1); closing != Text::npos) {
                end = closing + 1;
            }
        }
        if (first) {
            filled += value;
        } else {
            filled.append(message, at, end - at);
        }
        at = end - 1;
    }
    return filled;
}

void ThrowWindowsError(const Text& action, const Text& subject, unsigned long code)
{
    throw RuntimeError(action, subject, static_cast<long>(code), FillFirstInsert(SystemMessage(code), subject));
}

void ThrowLastError(const Text& action, const Text& subject)
{
    ThrowWindowsError(action, subject, GetLastError());
}

} // namespace dss
