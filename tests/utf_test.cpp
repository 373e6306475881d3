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

// Bytes that are not UTF-8, as in a folder name from a Windows archive or
// an old disk: kept exactly for the system, and shown as U+FFFD.
TEST(Utf, SystemBytesSurviveTheRoundTripWhateverTheyAre)
{
    const auto escaped = [](unsigned char byte) { return std::u16string(1, char16_t(0xDC00 + byte)); };
    // Latin-1, a cut sequence before valid text, an encoded surrogate, an overlong "/".
    const std::string bytes = "/G\xE4me/\xE5\x9C" "x\xED\xA0\x80\xC0\xAF/D\xC3\xA9" "di\xC3\xA9 \xF0\x9F\x8E\xAE";
    const std::u16string text = FromSystemBytes(bytes);
    EXPECT_EQ(text, u"/G" + escaped(0xE4) + u"me/" + escaped(0xE5) + escaped(0x9C) + u"x" + escaped(0xED) +
                        escaped(0xA0) + escaped(0x80) + escaped(0xC0) + escaped(0xAF) + u"/Dédié 🎮");
    EXPECT_EQ(ToSystemBytes(text), bytes);
    EXPECT_EQ(ToUtf8(text), "/G\uFFFDme/\uFFFD\uFFFDx\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD/Dédié 🎮");

    std::string everyByte;
    for (int byte = 0; byte < 256; ++byte) {
        everyByte += static_cast<char>(byte);
    }
    EXPECT_EQ(ToSystemBytes(FromSystemBytes(everyByte)), everyByte);
    // Valid UTF-8 converts as it always did; a surrogate that stands for no
    // byte is no name and still becomes U+FFFD.
    const std::u16string valid = u"Quarnvale Карта 地図 🎮";
    EXPECT_EQ(FromSystemBytes(ToUtf8(valid)), valid);
    EXPECT_EQ(ToSystemBytes(valid), ToUtf8(valid));
    EXPECT_EQ(ToSystemBytes(escaped(0x41) + std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

} // namespace
} // namespace dss
