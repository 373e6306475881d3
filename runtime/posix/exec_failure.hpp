#pragma once

#include <string>

namespace dss {

// Why the kernel would not run the existing file at `path`, as the user
// can act on it, given the error number `code` its exec failed with. Some
// of those numbers name another file than the one given: ENOENT from a
// script means its interpreter is missing (and a script saved on Windows
// names its interpreter with a carriage return), and EACCES on a file
// system mounted noexec (as NTFS and FAT drives often are) holds even for
// root. Other failures get the system's message for `code`.
std::u16string ExecFailureReason(const std::string& path, int code);

} // namespace dss
