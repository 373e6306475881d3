#include "runtime/utf.hpp"

#include <gtest/gtest.h>

namespace dss {
namespace {

TEST(Utf, RoundTripsTextFromEveryPlane)
{
    const std::u16string text = u"Quarnvale Карта 地図 🎮 \"x\" ' \\ é";
    const std::string bytes = ToUtf8(text);
    EXPECT_EQ(bytes, "Quarnvale \xD0\x9A\xD0\xB0\xD1\x80\xD1\x82\xD0\xB0 \xE5\x9C\xB0\xE5\x9B\xB3 "
                     "\xF0\x9F\x8E\xAE \"x\" ' \\ \xC3\xA9");
    EXPECT_EQ(FromUtf8(bytes), text);
    EXPECT_EQ(FromUtf8(ToUtf8(std::u16string(40000, u'ж'))), std::u16string(40000, u'ж'));
}

TEST(Utf, ReplacesIllFormedInputInsteadOfDroppingIt)
{
    EXPECT_EQ(ToUtf8(std::u16string(1, char16_t(0xD800)) + u"a"), "\xEF\xBF\xBD" "a");
    EXPECT_EQ(ToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
    EXPECT_EQ(FromUtf8("a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(FromUtf8("\xC0\xAF"), u"\uFFFD");          // overlong "/"
    EXPECT_EQ(FromUtf8("\xED\xA0\x80"), u"\uFFFD");      // encoded surrogate
    EXPECT_EQ(FromUtf8("\xE5\x9C" "x"), u"\uFFFDx");     // cut short
}

} // namespace
} // namespace dss
