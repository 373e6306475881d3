#include "window/layout.hpp"

#include <gtest/gtest.h>

namespace dss::layout {
namespace {

TEST(Layout, FollowsTheRowsAndEdgesOfTheWindow)
{
    constexpr int kRightEdge = 4680 - 105;
    for (const ControlDescription& control : kControls) {
        SCOPED_TRACE(std::string(control.name));
        const int row = (control.twips.top - 120) / 360;
        EXPECT_EQ(control.twips.top, 120 + row * 360);
        if (control.kind == ControlKind::Label || control.kind == ControlKind::PushButton) {
            EXPECT_EQ(control.twips.left, 120);
        } else {
            EXPECT_EQ(control.twips.left + control.twips.width, kRightEdge);
        }
        if (control.labelFor) {
            const ControlDescription& field = Describe(*control.labelFor);
            EXPECT_EQ(field.twips.top, control.twips.top);
            EXPECT_EQ(&field, &control + 1) << "a label comes just before its field";
        }
    }
    EXPECT_EQ(Describe(ControlId::Command1).twips.left + Describe(ControlId::Command1).twips.width, kRightEdge);
}

TEST(Layout, HoldsToThePixelAtNinetySixDpiAndScales)
{
    EXPECT_EQ(TwipsToPixels(kWindow.clientWidth, 96), 312);
    EXPECT_EQ(TwipsToPixels(kWindow.clientHeight, 96), 124);
    for (const ControlDescription& control : kControls) {
        for (const int twips : {control.twips.left, control.twips.top, control.twips.width, control.twips.height}) {
            EXPECT_EQ(TwipsToPixels(twips, 96) * 15, twips) << control.name;
        }
    }
    EXPECT_EQ(TwipsToPixels(4680, 120), 390);
    EXPECT_EQ(TwipsToPixels(4680, 144), 468);
    EXPECT_EQ(TwipsToPixels(4680, 192), 624);
}

TEST(Layout, TabsFromMapToArgumentsToPathToLaunch)
{
    EXPECT_EQ(TabOrder(), (std::array{ControlId::Text1, ControlId::Text2, ControlId::Text3, ControlId::Command1}));
    EXPECT_EQ(FieldControl(SettingField::ExecutablePath), ControlId::Text3);
    EXPECT_EQ(FieldControl(SettingField::Map), ControlId::Text1);
    EXPECT_EQ(FieldControl(SettingField::OtherArguments), ControlId::Text2);
    EXPECT_EQ(Describe(ControlId::Text1).text, u"base/data/missions/bedroom.mis");
}

} // namespace
} // namespace dss::layout
