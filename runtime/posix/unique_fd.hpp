#pragma once

#include <unistd.h>

#include <utility>

namespace dss {

// Owns a POSIX descriptor and closes it once; -1 owns nothing. The one
// owner of descriptors in the POSIX runtime, as UniqueHandle is of handles
// on Windows.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const noexcept { return fd_; }
    bool IsOpen() const noexcept { return fd_ >= 0; }
    int Release() noexcept { return std::exchange(fd_, -1); }
    // Closes what it owns (an error from close leaves the descriptor closed
    // on Linux, so there is nothing to retry) and takes `fd`.
    void Reset(int fd = -1) noexcept
    {
        if (fd_ >= 0) {
            close(fd_);
        }
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

} // namespace dss
