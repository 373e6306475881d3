#pragma once

#include <optional>
#include <string>
#include <string_view>

// How Windows reads a name in a path: which names are devices, and which
// it cannot open or would open as another file. Linux names are bytes, so
// the rules take bytes; they need no system of either kind.
namespace dss {

// True for a name Windows opens as a device (CON, NUL, AUX, PRN, COM1 to
// COM9, LPT1 to LPT9, CONIN$, CONOUT$, in any case) whatever follows its
// first dot or colon, with spaces before that.
bool IsDeviceName(std::string_view name);

// Why Wine would not open the absolute, resolved Linux `path` (a program or
// a working folder) as the one it names, or nullopt where it would.
std::optional<std::u16string> WindowsNameProblem(const std::string& path);

} // namespace dss
