// What the launcher keeps of a child's output, and of Wine's in particular.
#include "runtime/posix/output_lines.hpp"
#include "runtime/wine/wine_failure.hpp"

#include <gtest/gtest.h>

namespace dss {
namespace {

using Lines = std::vector<std::string>;

TEST(OutputLines, KeepsTwelveLinesOfAtMost400BytesWithoutBlanks)
{
    OutputLines lines;
    lines.Append(" \t\r\nfirst\r\n" + std::string(400, 'a') + "\n" + std::string(401, 'b') + "\n\n li");
    Lines expected{"first", std::string(400, 'a'), std::string(400, 'b') + "..."};
    for (int i = 1; i <= 20; ++i) {
        lines.Append("ne " + std::to_string(i) + "\nli");
        if (expected.size() < 12) {
            expected.push_back("line " + std::to_string(i));
        }
    }
    EXPECT_EQ(lines.Finish(), expected);
}

TEST(IsWineDebugNoise, LeavesOutDebuggingButForTheLoadersErrors)
{
    for (const char* noise : {"fixme:heap:RtlSetHeapInformation", "0024:fixme:ntdll:x", "warn:file:x",
                              "trace:seh:x", "err:winediag:nodrv_CreateWindow", "0130:err:ole:x"}) {
        EXPECT_TRUE(IsWineDebugNoise(noise)) << noise;
    }
    for (const char* kept : {"err:module:import_dll Library x.dll not found", "0024:err:module:LdrInitializeThunk",
                             "err:process:exec_process", "wine: '/home/x/.wine' is not owned by you",
                             "ShellExecuteEx failed: Bad EXE format", "g:fixme:x"}) {
        EXPECT_FALSE(IsWineDebugNoise(kept)) << kept;
    }
}

} // namespace
} // namespace dss
