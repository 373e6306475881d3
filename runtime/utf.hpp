#pragma once

#include <string>
#include <string_view>

// Conversions for the few places where UTF-16 text meets an 8-bit interface.
namespace dss {

// Text for a toolkit or a reader: always valid UTF-8. Ill-formed input (a
// lone surrogate, a stray byte) becomes U+FFFD, so a name from the system
// that holds bytes which are not UTF-8 shows one U+FFFD for each of them.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view bytes);

// Names handed between the launcher and a system whose names are bytes (a
// Linux file name need not be UTF-8). Valid UTF-8 decodes as usual; any
// other byte b becomes the lone surrogate U+DC00 + b and turns back into b
// on the way out, so every name survives the round trip unchanged. Valid
// UTF-8 never yields such a surrogate, and text typed into a field holds
// none.
std::u16string FromSystemBytes(std::string_view bytes);
std::string ToSystemBytes(std::u16string_view text);

} // namespace dss
