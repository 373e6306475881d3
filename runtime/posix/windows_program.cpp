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

// Reads up to `size` bytes at `offset` into `buffer`, and sets `length`
// to how many were read; returns the system's error number, 0 on success.
int ReadAt(int fd, char* buffer, std::size_t size, off_t offset, std::size_t& length)
{
    ssize_t result = 0;
    do {
        result = pread(fd, buffer, size, offset);
    } while (result < 0 && errno == EINTR);
    length = result < 0 ? 0 : static_cast<std::size_t>(result);
    return result < 0 ? errno : 0;
}

// The DOS header keeps the offset of the Windows header at 0x3C.
constexpr off_t kNewHeaderOffset = 0x3C;

// Little-endian, as every field of these headers.
std::uint32_t Number(const char* bytes, int size)
{
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    }
    return value;
}

ProgramExamination FormatOf(int fd, off_t fileSize)
{
    std::array<char, kNewHeaderOffset + 4> dos{};
    std::size_t length = 0;
    if (const int error = ReadAt(fd, dos.data(), dos.size(), 0, length)) {
        return {ProgramFormat::Unreadable, error};
    }
    if (length < 2 || dos[0] != 'M' || dos[1] != 'Z') {
        return {ProgramFormat::Other};
    }
    if (length < dos.size()) {
        return {ProgramFormat::DosOnly};
    }
    const std::uint32_t offset = Number(dos.data() + kNewHeaderOffset, 4);
    // The signature "PE\0\0" and the file header after it (IMAGE_FILE_HEADER).
    std::array<char, 4 + 20> header{};
    std::size_t found = 0;
    if (const int error = ReadAt(fd, header.data(), header.size(), static_cast<off_t>(offset), found)) {
        return {ProgramFormat::Unreadable, error};
    }
    const std::string_view signature(header.data(), found < 4 ? found : 4);
    // NE: 16-bit Windows, which 32-bit Wine runs.
    if (signature.starts_with("NE")) {
        return {ProgramFormat::Windows};
    }
    if (signature != std::string_view("PE\0\0", 4)) {
        return {ProgramFormat::DosOnly};
    }
    // The optional header and the section table (40 bytes an entry) follow
    // the file header, whose fields give their sizes.
    const std::uint64_t sections = Number(header.data() + 4 + 2, 2);
    const std::uint64_t optionalHeader = Number(header.data() + 4 + 16, 2);
    const std::uint64_t end = offset + std::uint64_t{header.size()} + optionalHeader + 40 * sections;
    const bool whole = found == header.size() && end <= static_cast<std::uint64_t>(fileSize);
    return {whole ? ProgramFormat::Windows : ProgramFormat::Damaged};
}

} // namespace

ProgramExamination ExamineProgram(const std::string& path)
{
    // O_PATH names the file without opening it, so it can be examined first.
    const UniqueFd named(open(path.c_str(), O_PATH | O_CLOEXEC));
    if (named.get() < 0) {
        return {ProgramFormat::Unreadable, errno};
    }
    struct stat status {};
    if (fstat(named.get(), &status) != 0) {
        return {ProgramFormat::Unreadable, errno};
    }
    if (!S_ISREG(status.st_mode)) {
        return {ProgramFormat::Other};
    }
    // Reopened through the descriptor, not the name: this is the file just
    // seen to be regular, even if the name has since been given to another.
    const std::string self = "/proc/self/fd/" + std::to_string(named.get());
    const UniqueFd file(open(self.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        return {ProgramFormat::Unreadable, errno};
    }
    return FormatOf(file.get(), status.st_size);
}

} // namespace dss
