#pragma once

#include <array>

namespace dss {

// The characters of bytes 0x80 to 0xFF in Windows code page `codePage`, as
// Wine decodes them, for the OEM code pages that the C library decodes
// otherwise: glibc has no CP720, and its CP1258 holds each letter back for
// a combining accent that may follow, so that a letter decoded on its own
// is lost ("Kh\xf4ng" became "Khng"). nullptr for every other code page.
const std::array<char16_t, 128>* WineHighHalf(unsigned codePage);

} // namespace dss
