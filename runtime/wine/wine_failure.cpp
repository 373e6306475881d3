#include "runtime/wine/wine_failure.hpp"

#include "runtime/utf.hpp"
#include "runtime/wine/wine_locale.hpp"

#include <sys/wait.h>

namespace dss {

bool IsWineDebugNoise(std::string_view line)
{
    // The thread's number comes first unless WINEDEBUG turned it off.
    const std::size_t number = line.find_first_not_of("0123456789abcdef");
    if (number != std::string_view::npos && number > 0 && line[number] == ':') {
        line.remove_prefix(number + 1);
    }
    for (const std::string_view kind : {"fixme:", "warn:", "trace:", "err:"}) {
        if (line.starts_with(kind)) {
            const std::string_view channel = line.substr(kind.size(), line.find(':', kind.size()) - kind.size());
            return kind != "err:" || (channel != "module" && channel != "process");
        }
    }
    return false;
}


void ThrowWineFailure(const Text& action, const Text& program, int status, const std::vector<std::string>& said,
                      const std::vector<std::string>& complained, unsigned codePage)
{
    // Appended piece by piece rather than u"\n" + ...: at -O3 GCC 12 takes
    // the insertion at the front that operator+ makes for an overlapping
    // copy (-Wrestrict).
    Text reason = u"Wine could not start it:";
    for (const std::string& line : said) {
        reason += u'\n';
        reason += FromCodePage(line, codePage);
    }
    for (const std::string& line : complained) {
        reason += u'\n';
        reason += FromSystemBytes(line);
    }
    if (said.empty() && complained.empty()) {
        reason = u"Wine could not start it, and did not say why.";
    }
    if (WIFEXITED(status)) {
        throw RuntimeError(action, program, WEXITSTATUS(status), reason, ErrorDomain::WineExitStatus);
    }
    throw RuntimeError(action, program, WTERMSIG(status), reason, ErrorDomain::WineSignal);
}

} // namespace dss
