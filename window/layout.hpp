#pragma once

#include "launch/launch_settings.hpp"
#include "launch/texts.hpp"

#include <array>
#include <optional>
#include <string_view>

// The launcher window as data, in twips (1440 to the inch); both window
// implementations build from it.
namespace dss::layout {

inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kPointsPerInch = 72;

// Twips to device pixels, rounded to nearest: 15 twips a pixel at 96 dpi.
constexpr int TwipsToPixels(int twips, int dpi)
{
    return (twips * dpi + kTwipsPerInch / 2) / kTwipsPerInch;
}

enum class ControlKind { Label, TextField, PushButton };

enum class ControlId { Label3, Text3, Label1, Text1, Label2, Text2, Command1 };

struct Rect {
    int left;
    int top;
    int width;
    int height;
};

struct ControlDescription {
    ControlId id;
    std::string_view name;
    ControlKind kind;
    std::u16string_view text; // at start; the path field's comes from the preset
    Rect twips;
    int tabIndex;
    std::optional<SettingField> field;    // for text fields: the value it holds
    std::optional<ControlId> labelFor;    // for labels: the field they name
};

struct FontDescription {
    std::string_view face;
    int hundredthsOfPoint; // 6.75 pt
    int weight;            // 700: bold
};

struct WindowDescription {
    std::u16string_view caption;
    int clientWidth;
    int clientHeight;
    FontDescription font;
};

inline constexpr WindowDescription kWindow{
    texts::kProgramTitle, 4680, 1860, {"Verdana", 675, 700}};

// In rows from top to bottom, each label just before its field: the order
// in which the controls are created.
inline constexpr std::array<ControlDescription, 7> kControls{{
    {ControlId::Label3, "Label3", ControlKind::Label, texts::kPathLabel,
     {120, 120, 1095, 255}, 5, std::nullopt, ControlId::Text3},
    {ControlId::Text3, "Text3", ControlKind::TextField, u"",
     {840, 120, 3735, 270}, 4, SettingField::ExecutablePath, std::nullopt},
    {ControlId::Label1, "Label1", ControlKind::Label, texts::kMapLabel,
     {120, 480, 495, 255}, 0, std::nullopt, ControlId::Text1},
    {ControlId::Text1, "Text1", ControlKind::TextField, texts::kDefaultMap,
     {600, 480, 3975, 270}, 1, SettingField::Map, std::nullopt},
    {ControlId::Label2, "Label2", ControlKind::Label, texts::kArgumentsLabel,
     {120, 840, 1455, 255}, 2, std::nullopt, ControlId::Text2},
    {ControlId::Text2, "Text2", ControlKind::TextField, u"",
     {1560, 840, 3015, 270}, 3, SettingField::OtherArguments, std::nullopt},
    {ControlId::Command1, "Command1", ControlKind::PushButton, texts::kLaunchButton,
     {120, 1200, 4455, 495}, 6, std::nullopt, std::nullopt},
}};

// The controls that take the focus, in the order Tab visits them.
std::array<ControlId, 4> TabOrder();

const ControlDescription& Describe(ControlId id);

// The text field that holds a value.
ControlId FieldControl(SettingField field);

} // namespace dss::layout
