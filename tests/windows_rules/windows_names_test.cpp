#include "runtime/utf.hpp"
#include "runtime/windows_rules/windows_names.hpp"

#include <gtest/gtest.h>

namespace dss {
namespace {

// As Wine 8 opens them: up to the first dot or colon, spaces before it
// dropped, in any case.
TEST(IsDeviceName, ReadsTheNameUpToItsFirstDotOrColon)
{
    for (const char* device : {"con", "NUL", "aux", "prn", "com1", "COM5", "com9", "lpt1", "Lpt5", "lpt9", "conin$",
                               "CONOUT$", "con.exe", "con .exe", "con.tar.exe", "con:x.exe", "AUX:.exe",
                               "lpt2 :a.exe", "conin$.exe"}) {
        EXPECT_TRUE(IsDeviceName(device)) << device;
    }
    for (const char* file : {"a:b.exe", "com0.exe", "com0:x.exe", "com10", "lpt0", "nul x.exe", "clock$.exe",
                             "console.exe", "xcon.exe", "co", " con.exe", "Game.exe"}) {
        EXPECT_FALSE(IsDeviceName(file)) << file;
    }
}

// Which part of a path is wrong, and that a folder may be called like a device.
TEST(WindowsNameProblem, NamesWhatWineWouldReadAsAnotherFileOrNone)
{
    const struct {
        const char* path;
        const char* reason;
    } refused[] = {
        {"/games/sub\\server.exe", "backslash"},
        {"/games/a*b/server.exe", "* ?"},
        {"/games/a?b.exe", "* ?"},
        {"/games/a<b.exe", "* ?"},
        {"/games/a|b.exe", "* ?"},
        {"/games/a\"b.exe", "* ?"},
        {"/games/tab\there.exe", "control character"},
        {"/games/dot./server.exe", "a dot or a space at the end"},
        {"/games/Game.exe ", "a dot or a space at the end"},
        {"/games/com3.exe", "as a device"},
        {"/games/lpt2 :a.exe", "as a device"},
    };
    for (const auto& c : refused) {
        const auto problem = WindowsNameProblem(c.path);
        ASSERT_TRUE(problem) << c.path;
        EXPECT_NE(ToUtf8(*problem).find(c.reason), std::string::npos) << ToUtf8(*problem);
    }
    for (const char* path : {"/games/con/server.exe", "/games/a:b.exe", "/games/com0.exe", "/games/nul x.exe",
                             "/games/G\xE4me Files/server.exe", "/", "/games//server.exe"}) {
        EXPECT_EQ(WindowsNameProblem(path), std::nullopt) << path;
    }
}

} // namespace
} // namespace dss
