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

// Windows' OEM code page of the locale Wine makes of a Linux locale's
// name, as Wine 8 reports it (GetOEMCP), measured for all 500 locales
// glibc 2.36 supports (318 once the character set is left out). Wine knows
// a locale by its language, territory and modifier; the character set and
// "@euro" do not count. Where Windows'
// locale has no OEM code page (hi_IN, ka_GE...) Wine writes UTF-8; a
// locale Wine does not know (az_AZ, which Windows calls az-Latn-AZ), or
// knows only as one that cannot be a system locale (de_BE, ar_SD), is
// en-US's, 437.
unsigned OemCodePage(std::string_view name)
{
    std::string locale = LanguageAndTerritory(name);
    if (const std::size_t at = name.find('@'); at != std::string_view::npos && name.substr(at) != "@euro") {
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
