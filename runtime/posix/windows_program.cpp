#include "runtime/posix/windows_program.hpp"

#include "runtime/posix/unique_fd.hpp"

#include <array>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace dss {
namespace {

// Reads up to `size` bytes at `offset`; returns how many were read.
std::size_t ReadAt(int fd, char* buffer, std::size_t size, off_t offset)
{
    ssize_t length = 0;
    do {
        length = pread(fd, buffer, size, offset);
    } while (length < 0 && errno == EINTR);
    return length < 0 ? 0 : static_cast<std::size_t>(length);
}

// The DOS header keeps the offset of the Windows header at 0x3C.
constexpr off_t kNewHeaderOffset = 0x3C;

ProgramFormat FormatOf(int fd)
{
    std::array<char, kNewHeaderOffset + 4> dos{};
    const std::size_t length = ReadAt(fd, dos.data(), dos.size(), 0);
    if (length < 2 || dos[0] != 'M' || dos[1] != 'Z') {
        return ProgramFormat::Other;
    }
    if (length < dos.size()) {
        return ProgramFormat::DosOnly;
    }
    std::uint32_t offset = 0;
    for (int i = 3; i >= 0; --i) {
        offset = (offset << 8) | static_cast<unsigned char>(dos[kNewHeaderOffset + i]);
    }
    std::array<char, 4> signature{};
    const std::size_t found = ReadAt(fd, signature.data(), signature.size(), static_cast<off_t>(offset));
    const std::string_view header(signature.data(), found);
    // PE: 32- and 64-bit Windows; NE: 16-bit Windows, which 32-bit Wine runs.
    return header == std::string_view("PE\0\0", 4) || header.starts_with("NE") ? ProgramFormat::Windows
                                                                                : ProgramFormat::DosOnly;
}

} // namespace

ProgramFormat ExamineProgram(const std::string& path)
{
    // O_PATH names the file without opening it, so it can be examined first.
    const UniqueFd named(open(path.c_str(), O_PATH | O_CLOEXEC));
    struct stat status {};
    if (named.get() < 0 || fstat(named.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return ProgramFormat::Other;
    }
    // Reopened through the descriptor, not the name: this is the file just
    // seen to be regular, even if the name has since been given to another.
    const std::string self = "/proc/self/fd/" + std::to_string(named.get());
    const UniqueFd file(open(self.c_str(), O_RDONLY | O_CLOEXEC));
    return file.get() < 0 ? ProgramFormat::Other : FormatOf(file.get());
}

} // namespace dss
