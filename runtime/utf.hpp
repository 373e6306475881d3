#pragma once

#include <string>
#include <string_view>

// Conversions for the few places where UTF-16 text meets an 8-bit interface.
// Ill-formed input (a lone surrogate, a stray byte) becomes U+FFFD.
namespace dss {

std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view bytes);

} // namespace dss
