#include "runtime/posix/windows_program.hpp"

#include "runtime/utf.hpp"

#include <array>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace dss {
namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

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

bool EqualsIgnoringCase(std::string_view name, std::string_view upper)
{
    if (name.size() != upper.size()) {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i] >= 'a' && name[i] <= 'z' ? static_cast<char>(name[i] - 'a' + 'A') : name[i];
        if (c != upper[i]) {
            return false;
        }
    }
    return true;
}

// Windows reads these names as devices, whatever follows the first dot or
// colon and with spaces before it (measured with Wine 8: "con.exe",
// "con .exe", "con.tar.exe", "COM1", "conin$.exe", "con:x.exe",
// "AUX:.exe", "lpt2 :a.exe"; "com0:x.exe", "clock$.exe", "nul x.exe" and
// "a:b.exe" are files).
bool IsDeviceName(std::string_view name)
{
    std::string_view base = name.substr(0, name.find_first_of(".:"));
    base = base.substr(0, base.find_last_not_of(' ') + 1);
    for (const std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (EqualsIgnoringCase(base, device)) {
            return true;
        }
    }
    const std::string_view port = base.substr(0, 3);
    return base.size() == 4 && (EqualsIgnoringCase(port, "COM") || EqualsIgnoringCase(port, "LPT")) &&
           base[3] >= '1' && base[3] <= '9';
}

std::u16string Quoted(std::string_view name)
{
    // Appended rather than u"\"" + ...: at -O3 GCC 12 takes the insertion at
    // the front that operator+ makes for an overlapping copy (-Wrestrict).
    std::u16string quoted(1, u'"');
    quoted += FromSystemBytes(name);
    quoted += u'"';
    return quoted;
}

// What Windows makes of one name in a path. Measured with Wine 8: names
// with these characters are not found (a backslash even divides the name
// into a folder and a file, so another file may be found); a name ending
// in a dot or a space loses it ("Game.exe." starts "Game.exe"); ":" and
// every other character, bytes that are not UTF-8 included, are kept.
std::optional<std::u16string> NameProblem(std::string_view name, bool last)
{
    if (name.find('\\') != std::string_view::npos) {
        return u"Windows reads a backslash as a folder separator, so Wine would look for another file than " +
               Quoted(name) + u".";
    }
    if (name.find_first_of("*?\"<>|") != std::string_view::npos) {
        return u"Windows programs cannot have * ? \" < > or | in a folder or file name, as " + Quoted(name) + u" has.";
    }
    for (const char c : name) {
        if (c > 0 && c < 0x20) {
            return u"Windows programs cannot have a control character (such as a tab) in a folder or file name, as " +
                   Quoted(name) + u" has.";
        }
    }
    if (name.back() == '.' || name.back() == ' ') {
        return u"Windows drops a dot or a space at the end of a folder or file name, so Wine would look for "
               u"another file than " +
               Quoted(name) + u".";
    }
    if (last && IsDeviceName(name)) {
        return u"Windows reads a name such as " + Quoted(name) +
               u" as a device (CON, NUL, AUX, PRN, COM1 to COM9, LPT1 to LPT9), not as a file.";
    }
    return std::nullopt;
}

} // namespace

ProgramExamination ExamineProgram(const std::string& path)
{
    // O_PATH names the file without opening it, so it can be examined first.
    const FileDescriptor named(open(path.c_str(), O_PATH | O_CLOEXEC));
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
    const FileDescriptor file(open(self.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        return {ProgramFormat::Unreadable, errno};
    }
    return FormatOf(file.get(), status.st_size);
}

std::optional<std::u16string> WindowsNameProblem(const std::string& path)
{
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find('/', start);
        end = end == std::string::npos ? path.size() : end;
        if (end > start) {
            if (auto problem = NameProblem(std::string_view(path).substr(start, end - start), end == path.size())) {
                return problem;
            }
        }
        start = end + 1;
    }
    return std::nullopt;
}

} // namespace dss
