#include "fakes.hpp"
#include "launch/launch_settings.hpp"

#include <gtest/gtest.h>

namespace dss {
namespace {

using testing::FakeFields;
using testing::FakeRuntime;

TEST(ServerCommandLine, JoinsTheValuesWithTheServerOptionsAndOneSpace)
{
    EXPECT_EQ(ServerCommandLine(u"D:\\Games\\Quarnvale\\Quarnvale.exe", u"base/data/missions/bedroom.mis", u""),
              u"D:\\Games\\Quarnvale\\Quarnvale.exe -dedicated -mission base/data/missions/bedroom.mis ");
    EXPECT_EQ(ServerCommandLine(u"q.exe", u"", u"-port 28000"), u"q.exe -dedicated -mission  -port 28000");
    EXPECT_EQ(ServerCommandLine(u"", u"", u""), u" -dedicated -mission  ");
}

TEST(ServerCommandLine, PassesEveryValueVerbatimWithoutQuoting)
{
    const Text path = u"C:\\Program Files\\Quarnvale \"Gold\"\\Quarnvale.exe";
    const Text map = u"  missions/Карта 地図 🎮.mis ";
    const Text arguments = u"-name \"My Server\" 'x y' \\ %PATH% $HOME `id`";
    EXPECT_EQ(ServerCommandLine(path, map, arguments),
              path + u" -dedicated -mission " + map + u" " + arguments);
}

TEST(ServerCommandLine, KeepsLongValuesWhole)
{
    const Text path(32000, u'p');
    const Text arguments(32000, u'я');
    const Text line = ServerCommandLine(path, u"m", arguments);
    ASSERT_EQ(line.size(), 32000u + 21u + 1u + 1u + 32000u);
    EXPECT_EQ(line.substr(0, 32000), path);
    EXPECT_EQ(line.substr(line.size() - 32000), arguments);
}

TEST(PresetExecutablePath, NamesTheGameExecutableInTheLaunchersFolder)
{
    FakeRuntime runtime;
    FakeFields fields;
    fields.texts[SettingField::OtherArguments] = u"kept";
    PresetExecutablePath(runtime, fields);
    EXPECT_EQ(fields.texts[SettingField::ExecutablePath], u"D:\\Games\\Quarnvale\\Quarnvale.exe");
    EXPECT_EQ(fields.texts[SettingField::Map], u"base/data/missions/bedroom.mis");
    EXPECT_EQ(fields.texts[SettingField::OtherArguments], u"kept");

    runtime.appPath = u"/home/ана/Игры 游戏";
    runtime.separator = u'/';
    PresetExecutablePath(runtime, fields);
    EXPECT_EQ(fields.texts[SettingField::ExecutablePath], u"/home/ана/Игры 游戏/Quarnvale.exe");
}

TEST(PresetExecutablePath, DoesNotDoubleTheSeparatorOfARootFolder)
{
    FakeRuntime runtime;
    FakeFields fields;
    runtime.appPath = u"C:\\";
    PresetExecutablePath(runtime, fields);
    EXPECT_EQ(fields.texts[SettingField::ExecutablePath], u"C:\\Quarnvale.exe");

    runtime.appPath = std::u16string(u"/"); // not = u"/", which GCC 12 at -O3 warns of (-Wrestrict)
    runtime.separator = u'/';
    PresetExecutablePath(runtime, fields);
    EXPECT_EQ(fields.texts[SettingField::ExecutablePath], u"/Quarnvale.exe");
}

TEST(PresetExecutablePath, LeavesTheFieldAloneWhenTheFolderIsUnknown)
{
    FakeRuntime runtime;
    FakeFields fields;
    fields.texts[SettingField::ExecutablePath] = u"before";
    runtime.appPathFailure.emplace(u"find", u"", 5, u"Access is denied.");
    EXPECT_THROW(PresetExecutablePath(runtime, fields), RuntimeError);
    EXPECT_EQ(fields.texts[SettingField::ExecutablePath], u"before");
}

} // namespace
} // namespace dss
