#include "runtime/windows_rules/windows_words.hpp"

#include <gtest/gtest.h>

namespace dss {
namespace {

using Words = std::vector<std::string>;

// The examples of Microsoft's "Parsing C++ command-line arguments".
TEST(SplitWindowsWords, FollowsMicrosoftsDocumentedExamples)
{
    EXPECT_EQ(SplitWindowsWords(R"("abc" d e)"), (Words{"abc", "d", "e"}));
    EXPECT_EQ(SplitWindowsWords(R"(a\\b d"e f"g h)"), (Words{R"(a\\b)", "de fg", "h"}));
    EXPECT_EQ(SplitWindowsWords(R"(a\\\"b c d)"), (Words{R"(a\"b)", "c", "d"}));
    EXPECT_EQ(SplitWindowsWords(R"(a\\\\"b c" d e)"), (Words{R"(a\\b c)", "d", "e"}));
    EXPECT_EQ(SplitWindowsWords(R"(a"b"" c d)"), (Words{R"(ab" c d)"}));
}

TEST(SplitWindowsWords, KeepsPathsApostrophesAndEverythingUnquotedAsTyped)
{
    EXPECT_EQ(SplitWindowsWords(R"( -dedicated -mission missions/Bob's Room.mis -config C:\Games\x.cfg )"),
              (Words{"-dedicated", "-mission", "missions/Bob's", "Room.mis", "-config", R"(C:\Games\x.cfg)"}));
    EXPECT_EQ(SplitWindowsWords("\t-name \"\" 'a b' %PATH% $HOME Карта\t🎮 "),
              (Words{"-name", "", "'a", "b'", "%PATH%", "$HOME", "Карта", "🎮"}));
    EXPECT_EQ(SplitWindowsWords(R"("C:\My Games\\" tr\\ "open \" end)"),
              (Words{R"(C:\My Games\)", R"(tr\\)", R"(open " end)"}));
    EXPECT_EQ(SplitWindowsWords(""), Words{});
}

} // namespace
} // namespace dss
