#include "runtime/posix/exec_failure.hpp"

#include "runtime/posix/posix_error.hpp"
#include "runtime/posix/unique_fd.hpp"
#include "runtime/system_text.hpp"
#include "runtime/utf.hpp"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string_view>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace dss {
namespace {

bool Exists(const std::string& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0;
}

// The first `size` bytes of the regular file at `path` (fewer where it is
// shorter), or nothing where it cannot be read.
std::optional<std::string> Beginning(const std::string& path, std::size_t size)
{
    const UniqueFd file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    const int fd = file.get();
    struct stat status {};
    if (fd < 0 || fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    std::string bytes(size, '\0');
    ssize_t length = 0;
    do {
        length = pread(fd, bytes.data(), bytes.size(), 0);
    } while (length < 0 && errno == EINTR);
    if (length < 0) {
        return std::nullopt;
    }
    bytes.resize(static_cast<std::size_t>(length));
    return bytes;
}

// The interpreter a "#!" line names, read as the kernel reads it: from the
// first 256 bytes (BINPRM_BUF_SIZE), after spaces and tabs, up to the next
// space, tab or line break. A carriage return stays part of the name.
std::optional<std::string> ScriptInterpreter(const std::string& beginning)
{
    if (!beginning.starts_with("#!")) {
        return std::nullopt;
    }
    const std::string line = beginning.substr(2, beginning.find('\n') - 2);
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos) {
        return std::nullopt;
    }
    return line.substr(start, line.find_first_of(" \t", start) - start);
}

std::uint64_t Number(std::string_view bytes, std::size_t offset, std::size_t size, bool bigEndian)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size && offset + size <= bytes.size(); ++i) {
        const std::size_t at = bigEndian ? offset + i : offset + size - 1 - i;
        value = (value << 8) | static_cast<unsigned char>(bytes[at]);
    }
    return value;
}

// The loader (program interpreter, PT_INTERP) an ELF program names, such
// as /lib/ld-linux.so.2 for a 32-bit x86 one.
std::optional<std::string> ElfLoader(const std::string& path)
{
    constexpr std::size_t kEnough = 64 * 1024;
    const auto image = Beginning(path, kEnough);
    if (!image || !image->starts_with("\x7f" "ELF") || image->size() < 52) {
        return std::nullopt;
    }
    const bool wide = (*image)[4] == 2;
    const bool big = (*image)[5] == 2;
    const std::uint64_t table = Number(*image, wide ? 32 : 28, wide ? 8 : 4, big);
    const std::uint64_t entrySize = Number(*image, wide ? 54 : 42, 2, big);
    const std::uint64_t entries = Number(*image, wide ? 56 : 44, 2, big);
    for (std::uint64_t i = 0; i < entries && table + (i + 1) * entrySize <= image->size(); ++i) {
        const std::size_t entry = static_cast<std::size_t>(table + i * entrySize);
        constexpr std::uint64_t kInterpreter = 3; // PT_INTERP
        if (Number(*image, entry, 4, big) != kInterpreter) {
            continue;
        }
        const std::uint64_t offset = Number(*image, entry + (wide ? 8 : 4), wide ? 8 : 4, big);
        const std::uint64_t size = Number(*image, entry + (wide ? 32 : 16), wide ? 8 : 4, big);
        if (offset + size > image->size()) {
            return std::nullopt;
        }
        const std::string loader = image->substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(size));
        return loader.substr(0, loader.find('\0'));
    }
    return std::nullopt;
}

std::u16string MissingFileReason(const std::string& path)
{
    if (const auto beginning = Beginning(path, 256)) {
        if (const auto interpreter = ScriptInterpreter(*beginning)) {
            if (interpreter->ends_with('\r')) {
                return u"Its first line, which names the interpreter " +
                       QuotedName(std::string_view(*interpreter).substr(0, interpreter->size() - 1)) +
                       u", ends in a Windows line ending (a carriage return), so Linux looks for an interpreter whose "
                       u"name ends in one, and there is none. Save the script with Linux line endings.";
            }
            if (!Exists(*interpreter)) {
                return u"It is a script for the interpreter " + QuotedName(*interpreter) +
                       u", which does not exist. Install it, or name another in the script's first line.";
            }
            return u"It is a script for the interpreter " + QuotedName(*interpreter) +
                   u", which cannot be run: " + ErrnoMessage(ENOENT) + u".";
        }
    }
    if (const auto loader = ElfLoader(path); loader && !Exists(*loader)) {
        return u"It needs the program loader " + QuotedName(*loader) +
               u", which does not exist: it is a program for another system, or for one that needs more "
               u"packages here (such as the 32-bit libraries, for a 32-bit program).";
    }
    return ErrnoMessage(ENOENT);
}

// "\040" in /proc/self/mountinfo is a space, and so on.
std::string Unescaped(const std::string& field)
{
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const bool octal = field[i] == '\\' && i + 3 < field.size() &&
                           field.substr(i + 1, 3).find_first_not_of("01234567") == std::string::npos;
        if (octal) {
            text += static_cast<char>(std::strtol(field.substr(i + 1, 3).c_str(), nullptr, 8));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

// The folder where the file system that holds `path` is mounted: the
// mount point that is the longest leading part of its resolved name; of
// several mounted there, the last, which covers the others.
std::optional<std::string> MountPointOf(const std::string& path)
{
    const std::unique_ptr<char, void (*)(void*)> real(realpath(path.c_str(), nullptr), std::free);
    if (!real) {
        return std::nullopt;
    }
    const std::string_view file = real.get();
    std::ifstream mounts("/proc/self/mountinfo");
    std::optional<std::string> best;
    for (std::string line; std::getline(mounts, line);) {
        std::istringstream fields(line);
        std::string id, parent, device, root, point;
        fields >> id >> parent >> device >> root >> point;
        point = Unescaped(point);
        const bool contains = point == "/" || (file.starts_with(point) && (file.size() == point.size() ||
                                                                           file[point.size()] == '/'));
        if (contains && (!best || point.size() >= best->size())) {
            best = point;
        }
    }
    return best;
}

std::u16string DeniedReason(const std::string& path)
{
    struct statvfs filesystem {};
    if (statvfs(path.c_str(), &filesystem) != 0 || (filesystem.f_flag & ST_NOEXEC) == 0) {
        return ErrnoMessage(EACCES);
    }
    const auto mountPoint = MountPointOf(path);
    return u"It is on a file system mounted with the option noexec" +
           (mountPoint ? u" (at " + FromSystemBytes(*mountPoint) + u")" : std::u16string()) +
           u", from which Linux runs no program. Mount it without noexec, or move the server to another file "
           u"system.";
}

} // namespace

std::u16string ExecFailureReason(const std::string& path, int code)
{
    switch (code) {
    case ENOENT:
        return MissingFileReason(path);
    case EACCES:
        return DeniedReason(path);
    default:
        return ErrnoMessage(code);
    }
}

} // namespace dss
