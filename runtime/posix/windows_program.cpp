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

ProgramFormat ExamineProgram(const std::string& path)
{
    // O_PATH names the file without opening it, so it can be examined first.
    const FileDescriptor named(open(path.c_str(), O_PATH | O_CLOEXEC));
    struct stat status {};
    if (named.get() < 0 || fstat(named.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return ProgramFormat::Other;
    }
    // Reopened through the descriptor, not the name: this is the file just
    // seen to be regular, even if the name has since been given to another.
    const std::string self = "/proc/self/fd/" + std::to_string(named.get());
    const FileDescriptor file(open(self.c_str(), O_RDONLY | O_CLOEXEC));
    return file.get() < 0 ? ProgramFormat::Other : FormatOf(file.get());
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
