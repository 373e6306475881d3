#include "runtime/posix/wine_locale.hpp"

#include "runtime/posix/wine_code_page_tables.hpp"
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

// Windows' OEM code page of the locale Wine makes of a Linux locale's
// name, as Wine 8 reports it (GetOEMCP), measured for all 500 locales glibc
// 2.36 supports (318 once the character set is left out). Wine knows a locale by its language, territory and
// modifier; the character set and "@euro" do not count. Where Windows'
// locale has no OEM code page (hi_IN, ka_GE...) Wine writes UTF-8; a
// locale Wine does not know (az_AZ, which Windows calls az-Latn-AZ), or
// knows only as one that cannot be a system locale (de_BE, ar_SD), is
// en-US's, 437.
unsigned OemCodePage(const std::string& name)
{
    std::string locale = name.substr(0, name.find_first_of(".@"));
    if (const std::size_t at = name.find('@'); at != std::string::npos && name.substr(at) != "@euro") {
        locale += name.substr(at);
    }
    struct Group {
        unsigned codePage;
        // Space-separated, with a space at each end.
        std::string_view locales;
    };
    static constexpr std::array<Group, 15> kGroups{{
        {850, " af_ZA br_FR ca_ES ca_ES@valencia cy_GB da_DK de_AT de_CH de_DE de_LI de_LU dsb_DE "
              " en_AU en_CA en_GB en_HK en_IE en_NZ es_AR es_BO es_CL es_CO es_CR es_CU es_DO "
              " es_EC es_ES es_GT es_HN es_MX es_NI es_PA es_PE es_PR es_PY es_SV es_US es_UY "
              " es_VE eu_ES ff_SN fi_FI fo_FO fr_BE fr_CA fr_CH fr_FR fr_LU fy_NL ga_IE gd_GB "
              " gl_ES hsb_DE id_ID is_IS it_CH it_IT kl_GL lb_LU ms_MY nb_NO nl_BE nl_NL nn_NO "
              " nso_ZA oc_FR pt_BR pt_PT quz_PE se_NO sv_FI sv_SE tn_ZA wo_SN xh_ZA zu_ZA "},
        {852, " cs_CZ hr_HR hu_HU pl_PL ro_RO sk_SK sl_SI sq_AL sr_RS@latin tk_TM "},
        {866, " be_BY bg_BG ky_KG mk_MK mn_MN ru_RU sah_RU tg_TJ tt_RU tt_RU@iqtelif uk_UA "
              " uz_UZ@cyrillic "},
        {737, " el_GR "},
        {775, " et_EE lt_LT lv_LV "},
        {857, " tr_TR "},
        {862, " he_IL "},
        {720, " ar_AE ar_BH ar_DZ ar_EG ar_IQ ar_JO ar_KW ar_LB ar_LY ar_MA ar_OM ar_QA ar_SA "
              " ar_SY ar_TN ar_YE ckb_IQ fa_IR ug_CN ur_IN ur_PK "},
        {874, " th_TH "},
        {1258, " vi_VN "},
        {932, " ja_JP "},
        {936, " zh_CN zh_SG "},
        {949, " ko_KR "},
        {950, " zh_HK zh_TW "},
        {65001, " am_ET as_IN bn_BD bn_IN bo_CN chr_US dv_MV dz_BT gu_IN hi_IN hy_AM ka_GE kk_KZ "
                " km_KH kn_IN kok_IN ks_IN@devanagari lo_LA mi_NZ ml_IN mni_IN mr_IN mt_MT my_MM "
                " ne_NP om_ET or_IN pa_IN ps_AF sa_IN sd_IN@devanagari si_LK so_SO st_ZA syr ta_IN "
                " ta_LK te_IN ti_ER ti_ET ts_ZA ve_ZA "},
    }};
    for (const Group& group : kGroups) {
        if (!locale.empty() && group.locales.find(" " + locale + " ") != std::string_view::npos) {
            return group.codePage;
        }
    }
    return 437;
}

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
