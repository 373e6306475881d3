#include "runtime/wine/wine_locale.hpp"

#include "runtime/utf.hpp"

#include <array>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <optional>

namespace dss {
namespace {

// The categories Wine's setlocale(LC_ALL, "") needs, by variable name.
constexpr std::array<std::pair<int, const char*>, 12> kCategories{{
    {LC_CTYPE_MASK, "LC_CTYPE"},
    {LC_NUMERIC_MASK, "LC_NUMERIC"},
    {LC_TIME_MASK, "LC_TIME"},
    {LC_COLLATE_MASK, "LC_COLLATE"},
    {LC_MONETARY_MASK, "LC_MONETARY"},
    {LC_MESSAGES_MASK, "LC_MESSAGES"},
    {LC_PAPER_MASK, "LC_PAPER"},
    {LC_NAME_MASK, "LC_NAME"},
    {LC_ADDRESS_MASK, "LC_ADDRESS"},
    {LC_TELEPHONE_MASK, "LC_TELEPHONE"},
    {LC_MEASUREMENT_MASK, "LC_MEASUREMENT"},
    {LC_IDENTIFICATION_MASK, "LC_IDENTIFICATION"},
}};

bool IsEntryOf(const std::string& entry, std::string_view name)
{
    return entry.size() > name.size() && entry.starts_with(name) && entry[name.size()] == '=';
}

std::optional<std::string> Variable(const std::vector<std::string>& environment, std::string_view name)
{
    for (const std::string& entry : environment) {
        if (IsEntryOf(entry, name)) {
            return entry.substr(name.size() + 1);
        }
    }
    return std::nullopt;
}

void Unset(std::vector<std::string>& environment, std::string_view name)
{
    std::erase_if(environment, [&](const std::string& entry) { return IsEntryOf(entry, name); });
}

// The locale C's setlocale gives a category: LC_ALL, the category's own
// variable, LANG, the first that is set and not empty.
std::string LocaleName(const std::vector<std::string>& environment, const char* category)
{
    for (const std::string_view name :
         {std::string_view("LC_ALL"), std::string_view(category), std::string_view("LANG")}) {
        if (auto value = Variable(environment, name); value && !value->empty()) {
            return *value;
        }
    }
    return "C";
}

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

// "de_DE" of "de_DE.ISO-8859-1@euro".
std::string LanguageAndTerritory(const std::string& name)
{
    return name.substr(0, name.find_first_of(".@"));
}

// Windows' OEM code page for a locale's language and territory, as Wine 8
// reports it (GetOEMCP) for de, fr, es, it, pt_BR, sv, en_GB (850), en_US
// and C (437), pl, cs (852), ru, uk (866), el, tr, lt, he, ar, th, vi, ja,
// zh_CN, zh_TW and ko; the rest of each group from Windows' locale tables.
unsigned OemCodePage(const std::string& name)
{
    const std::string locale = LanguageAndTerritory(name);
    const std::string language = locale.substr(0, locale.find('_'));
    const std::string territory = locale.size() > language.size() ? locale.substr(language.size() + 1) : "";
    struct Group {
        unsigned codePage;
        // Space-separated, with a space at each end.
        std::string_view languages;
    };
    static constexpr std::array<Group, 12> kGroups{{
        {850, " af br ca co cy da de es eu fi fo fr fy ga gd gl id is it lb ms nb nl nn no oc pt rm sv "},
        {852, " bs cs hr hu pl ro sk sl sq "},
        {866, " ba be bg kk ky mk mn ru tg tt uk "},
        {737, " el "},
        {857, " az tr uz "},
        {775, " et lt lv "},
        {862, " he "},
        {720, " ar fa ur "},
        {874, " th "},
        {1258, " vi "},
        {932, " ja "},
        {949, " ko "},
    }};
    if (language == "en") {
        for (const char* western : {"GB", "AU", "CA", "NZ", "IE"}) {
            if (territory == western) {
                return 850;
            }
        }
        return 437;
    }
    if (language == "zh") {
        return territory == "TW" || territory == "HK" || territory == "MO" ? 950 : 936;
    }
    for (const Group& group : kGroups) {
        if (!language.empty() && group.languages.find(" " + language + " ") != std::string_view::npos) {
            return group.codePage;
        }
    }
    return 437;
}

// Wine takes its Windows locale from LC_CTYPE, once setlocale(LC_ALL, "")
// has succeeded; when a category is missing, it is C's.
std::string SystemLocale(const std::vector<std::string>& environment)
{
    for (const auto& [mask, category] : kCategories) {
        if (!Locale(mask, LocaleName(environment, category)).Exists()) {
            return "C";
        }
    }
    return LocaleName(environment, "LC_CTYPE");
}

// A UTF-8 locale of the same language and territory, which keeps Wine's
// Windows locale, or else C's.
std::optional<std::string> Utf8LocaleLike(const std::string& name)
{
    const std::string named = LanguageAndTerritory(name);
    for (const std::string& candidate : {named + ".UTF-8", std::string("C.UTF-8")}) {
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
        // LC_ALL would override LC_CTYPE: the other categories keep its
        // locale through LANG.
        if (auto all = Variable(wine.environment, "LC_ALL"); all && !all->empty()) {
            for (const auto& [mask, category] : kCategories) {
                Unset(wine.environment, category);
            }
            Unset(wine.environment, "LC_ALL");
            Unset(wine.environment, "LANG");
            wine.environment.push_back("LANG=" + *all);
        }
        Unset(wine.environment, "LC_CTYPE");
        wine.environment.push_back("LC_CTYPE=" + *utf8);
    }
    wine.oemCodePage = OemCodePage(SystemLocale(wine.environment));
    return wine;
}

std::u16string FromCodePage(std::string_view bytes, unsigned codePage)
{
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
