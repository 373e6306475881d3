#include "runtime/windows_rules/batch_line.hpp"
#include "runtime/windows_rules/command_line_limits.hpp"

#include <gtest/gtest.h>

namespace dss {
namespace {

// The lengths Windows and cmd.exe take, and no more.
TEST(CommandLineLimits, RefuseOnlyWhatIsLongerThanWindowsTakes)
{
    EXPECT_NO_THROW(RejectOverlongCommandLine(u"a", u"p", 32766, 206));
    EXPECT_THROW(RejectOverlongCommandLine(u"a", u"p", 32767, 206), RuntimeError);
    EXPECT_NO_THROW(RejectOverlongCommandLine(u"a", u"p", 32700, 7, 32700));
    EXPECT_THROW(RejectOverlongCommandLine(u"a", u"p", 32701, 7, 32700), RuntimeError);
    EXPECT_NO_THROW(RejectOverlongBatchCommand(u"a", u"p", 8191, 206));
    EXPECT_THROW(RejectOverlongBatchCommand(u"a", u"p", 8192, 206), RuntimeError);
}

// cmd.exe gets the batch file's path as one quoted word inside /s's quotes.
TEST(BatchCommandLine, QuotesThePathAndRefusesWhatCmdReadsInQuotes)
{
    for (const char16_t* batch : {u"run.bat", u"RUN.CMD", u"a.b.Bat", uR"(C:\x y\.cmd)"}) {
        EXPECT_TRUE(HasBatchExtension(batch));
    }
    for (const char16_t* other : {u"run.bat.", u"run.bat ", u"run.exe", u"bat", u"run.bat.exe", uR"(C:\a.bat\b)"}) {
        EXPECT_FALSE(HasBatchExtension(other));
    }
    EXPECT_EQ(BatchCommandLine(u"a", u"p", uR"(C:\w\cmd.exe)", uR"(D:\G & M\run.bat)", uR"( -dedicated "x" & y)"),
              uR"("C:\w\cmd.exe" /v:off /s /c ""D:\G & M\run.bat" -dedicated "x" & y")");
    for (const char16_t* refused : {uR"(D:\100%\run.bat)", uR"(D:\a"b.bat)"}) {
        EXPECT_THROW(BatchCommandLine(u"a", u"p", u"cmd", refused, u""), RuntimeError);
    }
    const Text longest(kMaxBatchCommand - 2 - 5, u'x');
    EXPECT_NO_THROW(BatchCommandLine(u"a", u"p", u"cmd", u"a.bat", longest));
    EXPECT_THROW(BatchCommandLine(u"a", u"p", u"cmd", u"a.bat", longest + u'x'), RuntimeError);
}

} // namespace
} // namespace dss
