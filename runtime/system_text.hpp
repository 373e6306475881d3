#pragma once

#include "runtime/runtime.hpp"

#include <cstdint>
#include <string_view>

namespace dss {

// A name handed to the system as a C string ends at its first null
// character, so the system would act on a shorter name than the one given.
// Such names are refused with `code`, the system's "invalid argument".
void RejectEmbeddedNull(const Text& action, const Text& name, long code);

// `value` in decimal digits, as messages give numbers.
Text NumberText(std::intmax_t value);

// A name as the system holds it (bytes, not always UTF-8) in double
// quotes, as messages name a file.
Text QuotedName(std::string_view name);

} // namespace dss
