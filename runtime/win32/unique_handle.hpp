#pragma once

#include <windows.h>

#include <memory>

namespace dss {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};

// Owns a kernel handle and closes it once.
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

} // namespace dss
