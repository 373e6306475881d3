#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

// The Windows locale that a Linux environment's entries ("LANG=de_DE.UTF-8")
// give Wine, and its OEM code page: rules of the entries' text alone.
namespace dss {

// The variables of the categories setlocale(LC_ALL, "") reads.
inline constexpr std::array<std::string_view, 12> kLocaleCategories{
    "LC_CTYPE",    "LC_NUMERIC", "LC_TIME",    "LC_COLLATE",      "LC_MONETARY", "LC_MESSAGES",
    "LC_PAPER",    "LC_NAME",    "LC_ADDRESS", "LC_TELEPHONE",    "LC_MEASUREMENT", "LC_IDENTIFICATION",
};

// The locale C's setlocale gives `category` (such as "LC_CTYPE"): that of
// LC_ALL, of the category's own variable or of LANG, the first that is set
// and not empty; else "C".
std::string LocaleName(const std::vector<std::string>& environment, std::string_view category);

// "de_DE" of "de_DE.ISO-8859-1@euro".
std::string LanguageAndTerritory(std::string_view name);

// Windows' OEM code page for the locale `name` ("de_DE.UTF-8": 850), 65001
// where Windows' locale has none and Wine writes UTF-8.
unsigned OemCodePage(std::string_view name);

// The UTF-8 locales that keep the language and territory of `name`, best
// first: that language's own, then C's.
std::vector<std::string> Utf8LocalesLike(std::string_view name);

// `environment` with LC_CTYPE set to `locale` and every other category
// keeping the locale it had: where LC_ALL would override LC_CTYPE, its value
// moves to LANG, and the categories' own variables go.
std::vector<std::string> WithCharacterLocale(std::vector<std::string> environment, const std::string& locale);

} // namespace dss
