#include "fakes.hpp"
#include "launch/launch_action.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace dss {
namespace {

using testing::FakeFields;
using testing::FakeRuntime;

constexpr char16_t kServer[] = u"D:\\Games\\Quarnvale\\Quarnvale.exe";

TEST(FileExists, RefusesFoldersAndAcceptsAnyOtherAttributes)
{
    FakeRuntime runtime;
    runtime.files = {{u"folder", 16}, {u"hidden folder", 16 | 2}, {u"plain", 0},
                     {u"read-only, hidden, system, archive", 1 | 2 | 4 | 32}, {u"normal", 128}};
    EXPECT_FALSE(FileExists(runtime, u"folder"));
    EXPECT_FALSE(FileExists(runtime, u"hidden folder"));
    EXPECT_TRUE(FileExists(runtime, u"plain"));
    EXPECT_TRUE(FileExists(runtime, u"read-only, hidden, system, archive"));
    EXPECT_TRUE(FileExists(runtime, u"normal"));
}

TEST(FileExists, AnswersFalseWhenTheNameCannotBeExamined)
{
    FakeRuntime runtime;
    EXPECT_FALSE(FileExists(runtime, u""));
    EXPECT_FALSE(FileExists(runtime, u"\\\\unreachable\\share\\q.exe"));
    EXPECT_TRUE(runtime.boxes.empty());
}

struct LaunchServerTest : ::testing::Test {
    FakeRuntime runtime;
    FakeFields fields;

    void SetUp() override
    {
        runtime.files = {{kServer, 32}, {u"D:\\Games\\Quarnvale", 16}};
        fields.texts[SettingField::ExecutablePath] = kServer;
    }

    void ExpectInvalidPathMessageOnly()
    {
        ASSERT_EQ(runtime.boxes.size(), 1u);
        EXPECT_EQ(runtime.boxes[0].prompt, u"The path you entered is not valid!");
        EXPECT_EQ(runtime.boxes[0].title, u"Invalid Path");
        EXPECT_EQ(runtime.boxes[0].style, 16);
        EXPECT_TRUE(runtime.shells.empty());
        EXPECT_EQ(std::count(runtime.calls.begin(), runtime.calls.end(), "End"), 0);
    }
};

TEST_F(LaunchServerTest, StartsTheCheckedServerMinimizedThenEnds)
{
    fields.texts[SettingField::Map] = u"missions/none such.mis";
    fields.texts[SettingField::OtherArguments] = u"-name \"Friday Night\"";
    LaunchServer(runtime, fields);

    EXPECT_EQ(runtime.calls, (std::vector<std::string>{"GetAttr", "Shell", "End"}));
    EXPECT_EQ(runtime.examined, std::vector<Text>{kServer}); // map and arguments are never examined
    ASSERT_EQ(runtime.shells.size(), 1u);
    EXPECT_EQ(runtime.shells[0].program, kServer);
    EXPECT_EQ(runtime.shells[0].commandLine,
              Text(kServer) + u" -dedicated -mission missions/none such.mis -name \"Friday Night\"");
    EXPECT_EQ(runtime.shells[0].showState, 2);
    EXPECT_TRUE(runtime.boxes.empty());
}

TEST_F(LaunchServerTest, ReadsTheFieldsAgainButStartsThePathThatPassedTheCheck)
{
    // A path field that reads differently once checked.
    struct ChangingPath : FakeFields {
        Text GetText(SettingField field) override
        {
            const Text text = FakeFields::GetText(field);
            if (field == SettingField::ExecutablePath) {
                texts[field] = u"D:\\Unchecked.exe";
            }
            return text;
        }
    } changing;
    changing.texts[SettingField::ExecutablePath] = kServer;
    LaunchServer(runtime, changing);

    using enum SettingField;
    EXPECT_EQ(changing.reads, (std::vector<SettingField>{ExecutablePath, ExecutablePath, Map, OtherArguments}));
    EXPECT_EQ(runtime.calls, (std::vector<std::string>{"GetAttr", "Shell", "End"}));
    ASSERT_EQ(runtime.shells.size(), 1u);
    EXPECT_EQ(runtime.shells[0].program, kServer);
    EXPECT_EQ(runtime.shells[0].commandLine, Text(kServer) + u" -dedicated -mission base/data/missions/bedroom.mis ");
}

TEST_F(LaunchServerTest, RefusesAFolderAnEmptyPathAndAMissingFile)
{
    for (const Text path : {u"D:\\Games\\Quarnvale", u"", u"D:\\Games\\Quarnvale\\Missing.exe"}) {
        SCOPED_TRACE(std::string(path.begin(), path.end()));
        runtime.boxes.clear();
        runtime.calls.clear();
        fields.texts[SettingField::ExecutablePath] = path;
        fields.texts[SettingField::OtherArguments] = u"typed";
        LaunchServer(runtime, fields);
        ExpectInvalidPathMessageOnly();
        EXPECT_EQ(fields.texts[SettingField::ExecutablePath], path);
        EXPECT_EQ(fields.texts[SettingField::Map], u"base/data/missions/bedroom.mis");
        EXPECT_EQ(fields.texts[SettingField::OtherArguments], u"typed");
    }
}

TEST_F(LaunchServerTest, ChecksAgainOnTheNextClick)
{
    fields.texts[SettingField::ExecutablePath] = u"D:\\Games\\Quarnvale";
    LaunchServer(runtime, fields);
    ExpectInvalidPathMessageOnly();

    fields.texts[SettingField::ExecutablePath] = kServer;
    LaunchServer(runtime, fields);
    EXPECT_EQ(runtime.calls, (std::vector<std::string>{"GetAttr", "MsgBox", "GetAttr", "Shell", "End"}));
}

TEST_F(LaunchServerTest, AFailedStartPropagatesAndDoesNotEnd)
{
    runtime.shellFailure.emplace(u"The server could not be started.", kServer, 193,
                                 u"%1 is not a valid Win32 application.");
    EXPECT_THROW(LaunchServer(runtime, fields), RuntimeError);
    EXPECT_EQ(runtime.calls, (std::vector<std::string>{"GetAttr", "Shell"}));
}

TEST(RunReportingFailures, ShowsAnEscapedFailureWithPathAndReason)
{
    FakeRuntime runtime;
    const bool completed = RunReportingFailures(runtime, [] {
        throw RuntimeError(u"The server could not be started.", u"/srv/q/server.sh", 8,
                           u"Exec format error");
    });
    EXPECT_FALSE(completed);
    ASSERT_EQ(runtime.boxes.size(), 1u);
    EXPECT_EQ(runtime.boxes[0].title, u"Dedicated Server Starter");
    EXPECT_EQ(runtime.boxes[0].style, 16);
    EXPECT_EQ(runtime.boxes[0].prompt,
              u"The server could not be started.\n\n/srv/q/server.sh\n\nExec format error (error 8)");
}

// Wine's status 1 is not the system's error 1 (EPERM).
TEST(RunReportingFailures, NamesWinesExitStatusAsWines)
{
    FakeRuntime runtime;
    RunReportingFailures(runtime, [] {
        throw RuntimeError(u"A", u"s.exe", 1, u"Wine could not start it:\nwine: x", ErrorDomain::WineExitStatus);
    });
    RunReportingFailures(runtime, [] { throw RuntimeError(u"A", u"s.exe", 9, u"R.", ErrorDomain::WineSignal); });
    ASSERT_EQ(runtime.boxes.size(), 2u);
    EXPECT_EQ(runtime.boxes[0].prompt, u"A\n\ns.exe\n\nWine could not start it:\nwine: x (Wine's exit status 1)");
    EXPECT_EQ(runtime.boxes[1].prompt, u"A\n\ns.exe\n\nR. (Wine's start command was ended by signal 9)");
}

TEST(RunReportingFailures, ShowsOtherFailuresByTheirDescription)
{
    FakeRuntime runtime;
    EXPECT_FALSE(RunReportingFailures(runtime, [] { throw std::length_error("text too long"); }));
    ASSERT_EQ(runtime.boxes.size(), 1u);
    EXPECT_EQ(runtime.boxes[0].prompt, u"text too long");

    runtime.boxes.clear();
    EXPECT_TRUE(RunReportingFailures(runtime, [] {}));
    EXPECT_TRUE(runtime.boxes.empty());
}

} // namespace
} // namespace dss
