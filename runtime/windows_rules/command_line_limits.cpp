#include "runtime/windows_rules/command_line_limits.hpp"

#include "runtime/system_text.hpp"

namespace dss {

void RejectOverlongCommandLine(const Text& action, const Text& program, std::size_t length, long code,
                               std::size_t limit)
{
    if (length <= limit) {
        return;
    }
    const Text where = limit < kMaxWindowsCommandLine ? u" (Windows takes " + NumberText(kMaxWindowsCommandLine) +
                                                            u"; Wine's start command needs the rest)"
                                                      : Text();
    throw RuntimeError(action, program, code,
                       u"Its command line is " + NumberText(length) +
                           u" characters long; a Windows program can be given at most " + NumberText(limit) + where +
                           u". Shorten the map or the other arguments.");
}

void RejectOverlongBatchCommand(const Text& action, const Text& program, std::size_t length, long code)
{
    if (length <= kMaxBatchCommand) {
        return;
    }
    throw RuntimeError(action, program, code,
                       u"Windows runs a batch file through cmd.exe, which takes a command of at most " +
                           NumberText(kMaxBatchCommand) + u" characters; this one has " + NumberText(length) +
                           u". Shorten the map or the other arguments.");
}

} // namespace dss
