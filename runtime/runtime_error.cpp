#include "runtime/runtime.hpp"
#include "runtime/system_text.hpp"

#include "runtime/utf.hpp"

#include <string>
#include <utility>

namespace dss {

RuntimeError::RuntimeError(Text action, Text subject, long code, Text reason, ErrorDomain domain)
    : std::runtime_error(ToUtf8(action + u": " + subject + u": " + reason)),
      action_(std::move(action)), subject_(std::move(subject)), code_(code), domain_(domain),
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

Text NumberText(std::intmax_t value)
{
    const std::string digits = std::to_string(value);
    return Text(digits.begin(), digits.end());
}

Text QuotedName(std::string_view name)
{
    // Appended rather than u"\"" + ...: at -O3 GCC 12 takes the insertion at
    // the front that operator+ makes for an overlapping copy (-Wrestrict).
    Text quoted(1, u'"');
    quoted += FromSystemBytes(name);
    quoted += u'"';
    return quoted;
}

} // namespace dss
