#include "runtime/runtime.hpp"
#include "runtime/system_text.hpp"

#include "runtime/utf.hpp"

#include <string>
#include <utility>

namespace dss {

RuntimeError::RuntimeError(Text action, Text subject, long code, Text reason)
    : std::runtime_error(ToUtf8(action + u": " + subject + u": " + reason)),
      action_(std::move(action)), subject_(std::move(subject)), code_(code),
      reason_(std::move(reason))
{
}

} // namespace dss

namespace dss {

void RejectEmbeddedNull(const Text& action, const Text& name, long code)
{
    if (name.find(u'\0') != Text::npos) {
        throw RuntimeError(action, name, code, u"The name contains a null character.");
    }
}

void RejectOverlongCommandLine(const Text& action, const Text& program, std::size_t length, long code)
{
    if (length > kMaxWindowsCommandLine) {
        const std::string count = std::to_string(length);
        const std::string limit = std::to_string(kMaxWindowsCommandLine);
        throw RuntimeError(action, program, code,
                           u"Its command line is " + Text(count.begin(), count.end()) +
                               u" characters long; a Windows program can be given at most " +
                               Text(limit.begin(), limit.end()) +
                               u". Shorten the map or the other arguments.");
    }
}

} // namespace dss
