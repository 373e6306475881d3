#include "runtime/windows_rules/windows_locale.hpp"

#include <optional>

namespace dss {
namespace {

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

} // namespace

std::string LocaleName(const std::vector<std::string>& environment, std::string_view category)
{
    for (const std::string_view name : {std::string_view("LC_ALL"), category, std::string_view("LANG")}) {
        if (auto value = Variable(environment, name); value && !value->empty()) {
            return *value;
        }
    }
    return "C";
}

std::string LanguageAndTerritory(std::string_view name)
{
    return std::string(name.substr(0, name.find_first_of(".@")));
}

// As Wine 8 reports it (GetOEMCP) for de, fr, es, it, pt_BR, sv, en_GB
// (850), en_US and C (437), pl, cs (852), ru, uk (866), el, tr, lt, he, ar,
// th, vi, ja, zh_CN, zh_TW and ko; the rest of each group from Windows'
// locale tables.
unsigned OemCodePage(std::string_view name)
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

std::vector<std::string> Utf8LocalesLike(std::string_view name)
{
    return {LanguageAndTerritory(name) + ".UTF-8", "C.UTF-8"};
}

std::vector<std::string> WithCharacterLocale(std::vector<std::string> environment, const std::string& locale)
{
    if (auto all = Variable(environment, "LC_ALL"); all && !all->empty()) {
        for (const std::string_view category : kLocaleCategories) {
            Unset(environment, category);
        }
        Unset(environment, "LC_ALL");
        Unset(environment, "LANG");
        environment.push_back("LANG=" + *all);
    }
    Unset(environment, "LC_CTYPE");
    environment.push_back("LC_CTYPE=" + locale);
    return environment;
}

} // namespace dss
