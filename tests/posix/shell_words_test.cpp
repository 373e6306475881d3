#include "runtime/posix/shell_words.hpp"

#include <gtest/gtest.h>

namespace dss {
namespace {

using Words = std::vector<std::string>;

TEST(SplitShellWords, SplitsAtBlanksAndKeepsEverythingElse)
{
    EXPECT_EQ(SplitShellWords(" -dedicated -mission base/data/missions/bedroom.mis "),
              (Words{"-dedicated", "-mission", "base/data/missions/bedroom.mis"}));
    EXPECT_EQ(SplitShellWords(""), Words{});
    EXPECT_EQ(SplitShellWords(" \t\n "), Words{});
    EXPECT_EQ(SplitShellWords("a\t\tb\nc"), (Words{"a", "b", "c"}));
    // Nothing is expanded and nothing is a comment.
    EXPECT_EQ(SplitShellWords("$HOME ~ * `id` $(id) ; | & > #1.mis a#b"),
              (Words{"$HOME", "~", "*", "`id`", "$(id)", ";", "|", "&", ">", "#1.mis", "a#b"}));
    EXPECT_EQ(SplitShellWords("Карта 地図 🎮"), (Words{"Карта", "地図", "🎮"}));
}

TEST(SplitShellWords, ReadsQuotesAndBackslashesAsAShellDoes)
{
    EXPECT_EQ(SplitShellWords(R"(-name "Friday  Night" 'it''s' "")"), (Words{"-name", "Friday  Night", "its", ""}));
    EXPECT_EQ(SplitShellWords(R"('a "b" \c')"), (Words{R"(a "b" \c)"}));
    EXPECT_EQ(SplitShellWords(R"("\$ \` \" \\ \n")"), (Words{R"($ ` " \ \n)"}));
    EXPECT_EQ(SplitShellWords(R"(back\ slash \' \" a\\b)"), (Words{"back slash", "'", "\"", R"(a\b)"}));
    EXPECT_EQ(SplitShellWords("joined\\\nline \"in\\\nquotes\" ''\\\n"), (Words{"joinedline", "inquotes", ""}));
    EXPECT_EQ(SplitShellWords(R"(mixed"quo"'ted'\ word)"), (Words{"mixedquoted word"}));
    EXPECT_EQ(SplitShellWords("trailing\\"), (Words{"trailing\\"}));
}

TEST(SplitShellWords, RefusesAnUnclosedQuotation)
{
    EXPECT_THROW(SplitShellWords(R"(-name "Friday)"), std::invalid_argument);
    EXPECT_THROW(SplitShellWords("it's"), std::invalid_argument);
    EXPECT_THROW(SplitShellWords(R"("ends in \")"), std::invalid_argument);
}

} // namespace
} // namespace dss
