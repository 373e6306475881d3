#include "runtime/win32/last_error.hpp"

#include <windows.h>

#include <memory>

namespace dss {
namespace {

struct LocalFreeDeleter {
    void operator()(wchar_t* buffer) const noexcept { LocalFree(buffer); }
};

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

void ThrowLastError(const Text& action, const Text& subject)
{
    const DWORD code = GetLastError();
    throw RuntimeError(action, subject, static_cast<long>(code), SystemMessage(code));
}

} // namespace dss
