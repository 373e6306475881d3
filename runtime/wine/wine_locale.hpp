#pragma once

#include <string>
#include <string_view>
#include <vector>

// The locale Wine is started in, from the system's locales and the rules of
// runtime/windows_rules/windows_locale.hpp, and Wine's OEM code page decoded.
namespace dss {

// The environment Wine is started with, and what follows from it for
// reading Wine's own words.
struct WineLocale {
    // `environment` as given, except that Wine reads bytes as UTF-8 (the
    // launcher's encoding) where the locale's character set is another:
    // under LANG=C, Wine would read "é" as two characters.
    std::vector<std::string> environment;
    // The OEM code page of the Windows locale Wine derives from it, in
    // which `start` writes what it says into a pipe.
    unsigned oemCodePage = 437;
};

WineLocale WineLocaleFor(const std::vector<std::string>& environment);

// `bytes` in Windows code page `codePage` (65001 is UTF-8), decoded as Wine
// decodes them; a byte the system cannot decode becomes U+FFFD.
std::u16string FromCodePage(std::string_view bytes, unsigned codePage);

} // namespace dss
