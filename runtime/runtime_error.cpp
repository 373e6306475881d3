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

void RejectOverlongCommandLine(const Text& action, const Text& program, std::size_t length, long code,
                               std::size_t limit)
{
    if (length > limit) {
        const auto number = [](std::size_t value) {
            const std::string digits = std::to_string(value);
            return Text(digits.begin(), digits.end());
        };
        const Text where = limit < kMaxWindowsCommandLine
                               ? u" (Windows takes " + number(kMaxWindowsCommandLine) +
                                     u"; Wine's start command needs the rest)"
                               : Text();
        throw RuntimeError(action, program, code,
                           u"Its command line is " + number(length) +
                               u" characters long; a Windows program can be given at most " + number(limit) + where +
                               u". Shorten the map or the other arguments.");
    }
}

} // namespace dss
