#include "runtime/windows_rules/windows_names.hpp"

#include "runtime/system_text.hpp"
#include "runtime/utf.hpp"

namespace dss {
namespace {

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

// What Windows makes of one name in a path. Measured with Wine 8: names
// with these characters are not found (a backslash even divides the name
// into a folder and a file, so another file may be found); a name ending
// in a dot or a space loses it ("Game.exe." starts "Game.exe"); ":" and
// every other character, bytes that are not UTF-8 included, are kept.
std::optional<std::u16string> NameProblem(std::string_view name, bool last)
{
    if (name.find('\\') != std::string_view::npos) {
        return u"Windows reads a backslash as a folder separator, so Wine would look for another file than " +
               QuotedName(name) + u".";
    }
    if (name.find_first_of("*?\"<>|") != std::string_view::npos) {
        return u"Windows programs cannot have * ? \" < > or | in a folder or file name, as " + QuotedName(name) +
               u" has.";
    }
    for (const char c : name) {
        if (c > 0 && c < 0x20) {
            return u"Windows programs cannot have a control character (such as a tab) in a folder or file name, as " +
                   QuotedName(name) + u" has.";
        }
    }
    if (name.back() == '.' || name.back() == ' ') {
        return u"Windows drops a dot or a space at the end of a folder or file name, so Wine would look for "
               u"another file than " +
               QuotedName(name) + u".";
    }
    if (last && IsDeviceName(name)) {
        return u"Windows reads a name such as " + QuotedName(name) +
               u" as a device (CON, NUL, AUX, PRN, COM1 to COM9, LPT1 to LPT9), not as a file.";
    }
    return std::nullopt;
}

} // namespace

// Measured with Wine 8: "con.exe", "con .exe", "con.tar.exe", "COM1",
// "conin$.exe", "con:x.exe", "AUX:.exe", "lpt2 :a.exe" are devices;
// "com0:x.exe", "clock$.exe", "nul x.exe" and "a:b.exe" are files.
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
