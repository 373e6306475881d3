#include "runtime/wine/wine_locale.hpp"

#include "runtime/utf.hpp"
#include "runtime/wine/wine_code_page_tables.hpp"
#include "runtime/windows_rules/windows_locale.hpp"

#include <array>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <optional>
#include <utility>

namespace dss {
namespace {

class Locale {
public:
    Locale(int mask, const std::string& name) : locale_(newlocale(mask, name.c_str(), nullptr)) {}
    ~Locale()
    {
        if (locale_ != nullptr) {
            freelocale(locale_);
        }
    }
    Locale(const Locale&) = delete;
    Locale& operator=(const Locale&) = delete;
    bool Exists() const { return locale_ != nullptr; }
    bool IsUtf8() const { return Exists() && std::strcmp(nl_langinfo_l(CODESET, locale_), "UTF-8") == 0; }

private:
    locale_t locale_;
};

// Wine takes its Windows locale from LC_CTYPE's, which it sets on its own:
// a missing locale in another category (LC_MESSAGES naming one that is not
// installed) leaves it be. A missing LC_CTYPE locale is C's.
std::string SystemLocale(const std::vector<std::string>& environment)
{
    const std::string ctype = LocaleName(environment, "LC_CTYPE");
    return Locale(LC_CTYPE_MASK, ctype).Exists() ? ctype : "C";
}

// A UTF-8 locale of the same language and territory, which keeps Wine's
// Windows locale, or else C's.
std::optional<std::string> Utf8LocaleLike(const std::string& name)
{
    for (const std::string& candidate : Utf8LocalesLike(name)) {
        if (Locale(LC_CTYPE_MASK, candidate).IsUtf8()) {
            return candidate;
        }
    }
    return std::nullopt;
}

class Converter {
public:
    explicit Converter(const std::string& from) : cd_(iconv_open("UTF-8", from.c_str())) {}
    ~Converter()
    {
        if (IsOpen()) {
            iconv_close(cd_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool IsOpen() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

} // namespace

WineLocale WineLocaleFor(const std::vector<std::string>& environment)
{
    WineLocale wine{environment, 437};
    const std::string ctype = LocaleName(environment, "LC_CTYPE");
    if (const auto utf8 = Utf8LocaleLike(ctype); utf8 && !Locale(LC_CTYPE_MASK, ctype).IsUtf8()) {
        wine.environment = WithCharacterLocale(std::move(wine.environment), *utf8);
    }
    wine.oemCodePage = OemCodePage(SystemLocale(wine.environment));
    return wine;
}

std::u16string FromCodePage(std::string_view bytes, unsigned codePage)
{
    constexpr unsigned kUtf8 = 65001;
    if (codePage == kUtf8) {
        return FromUtf8(bytes);
    }
    if (const auto* high = WineHighHalf(codePage)) {
        std::u16string text;
        for (const char c : bytes) {
            const auto byte = static_cast<unsigned char>(c);
            text += byte < 0x80 ? char16_t{byte} : (*high)[byte - 0x80];
        }
        return text;
    }
    const Converter converter("CP" + std::to_string(codePage));
    std::string text;
    for (std::size_t i = 0; i < bytes.size();) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            text += bytes[i++];
            continue;
        }
        // A character of one or two bytes; a byte that begins none is
        // replaced, and the next one tried.
        std::size_t length = 1;
        for (; converter.IsOpen() && length <= 2 && i + length <= bytes.size(); ++length) {
            std::array<char, 2> in{};
            std::memcpy(in.data(), bytes.data() + i, length);
            std::array<char, 8> out{};
            char* inPointer = in.data();
            std::size_t inLeft = length;
            char* outPointer = out.data();
            std::size_t outLeft = out.size();
            iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
            if (iconv(converter.get(), &inPointer, &inLeft, &outPointer, &outLeft) != static_cast<std::size_t>(-1)) {
                text.append(out.data(), out.size() - outLeft);
                break;
            }
        }
        if (!converter.IsOpen() || length > 2 || i + length > bytes.size()) {
            text += "\xEF\xBF\xBD";
            length = 1;
        }
        i += length;
    }
    return FromUtf8(text);
}

} // namespace dss
