#include "runtime/windows_rules/windows_locale.hpp"

#include <gtest/gtest.h>

namespace dss {
namespace {

using Environment = std::vector<std::string>;

TEST(OemCodePage, IsWindowsOwnForTheLocalesLanguageAndTerritory)
{
    const struct {
        const char* locale;
        unsigned codePage;
    } cases[] = {
        {"C", 437},           {"C.UTF-8", 437},          {"en_US.UTF-8", 437}, {"en_GB.UTF-8", 850},
        {"de_DE.UTF-8", 850}, {"de_DE.ISO-8859-1", 850}, {"fr_FR@euro", 850},  {"pt_BR.UTF-8", 850},
        {"pl_PL.UTF-8", 852}, {"ru_RU.UTF-8", 866},      {"uk_UA.UTF-8", 866}, {"ja_JP.UTF-8", 932},
        {"ja_JP.eucJP", 932}, {"zh_CN.UTF-8", 936},      {"zh_TW.UTF-8", 950}, {"ko_KR.UTF-8", 949},
        {"el_GR.UTF-8", 737}, {"xx_XX.UTF-8", 437},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OemCodePage(c.locale), c.codePage) << c.locale;
    }
}

// C's order: LC_ALL, then the category's own variable, then LANG; an
// empty one counts as unset.
TEST(LocaleName, IsTheFirstOfLcAllTheCategoryAndLangThatIsSet)
{
    EXPECT_EQ(LocaleName({}, "LC_CTYPE"), "C");
    EXPECT_EQ(LocaleName({"LANG=de_DE.UTF-8"}, "LC_CTYPE"), "de_DE.UTF-8");
    EXPECT_EQ(LocaleName({"LANG=de_DE.UTF-8", "LC_CTYPE=ru_RU.KOI8-R"}, "LC_CTYPE"), "ru_RU.KOI8-R");
    EXPECT_EQ(LocaleName({"LANG=de_DE.UTF-8", "LC_CTYPE=ru_RU.KOI8-R"}, "LC_TIME"), "de_DE.UTF-8");
    EXPECT_EQ(LocaleName({"LC_ALL=ja_JP.eucJP", "LC_CTYPE=ru_RU.KOI8-R"}, "LC_CTYPE"), "ja_JP.eucJP");
    EXPECT_EQ(LocaleName({"LC_ALL=", "LC_CTYPE=", "LANG=fr_FR"}, "LC_CTYPE"), "fr_FR");
    EXPECT_EQ(LocaleName({"LC_CTYPEX=ru_RU", "LANGUAGE=ru"}, "LC_CTYPE"), "C");
}

// Wine is given a UTF-8 LC_CTYPE of the same language; the other categories
// keep their locale, through LANG where LC_ALL held it.
TEST(WithCharacterLocale, SetsOnlyTheCharacterSetsCategory)
{
    EXPECT_EQ(Utf8LocalesLike("de_DE.ISO-8859-1@euro"), (Environment{"de_DE.UTF-8", "C.UTF-8"}));
    EXPECT_EQ(Utf8LocalesLike("C"), (Environment{"C.UTF-8", "C.UTF-8"}));
    EXPECT_EQ(WithCharacterLocale({"HOME=/root", "LANG=de_DE.ISO-8859-1", "LC_CTYPE=C"}, "de_DE.UTF-8"),
              (Environment{"HOME=/root", "LANG=de_DE.ISO-8859-1", "LC_CTYPE=de_DE.UTF-8"}));
    EXPECT_EQ(WithCharacterLocale({"LC_ALL=de_DE.ISO-8859-1", "LC_TIME=C", "LANG=C", "LC_ALLX=1"}, "de_DE.UTF-8"),
              (Environment{"LC_ALLX=1", "LANG=de_DE.ISO-8859-1", "LC_CTYPE=de_DE.UTF-8"}));
    EXPECT_EQ(WithCharacterLocale({"LC_ALL="}, "C.UTF-8"), (Environment{"LC_ALL=", "LC_CTYPE=C.UTF-8"}));
}

} // namespace
} // namespace dss
