#include "runtime/runtime.hpp"
#include "runtime/system_text.hpp"

#include "runtime/utf.hpp"

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

} // namespace dss
