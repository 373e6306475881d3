#pragma once

#include "runtime/runtime.hpp"

// The three values of a launch and the server command line made of them.
namespace dss {

// The fields that hold a launch's values; the names are the window's.
enum class SettingField {
    ExecutablePath, // Text3
    Map,            // Text1
    OtherArguments, // Text2
};

// Read and write access to the field texts. The window implements it; the
// launch logic keeps no copy and reads afresh whenever it needs a value.
class FieldTexts {
public:
    FieldTexts() = default;
    FieldTexts(const FieldTexts&) = delete;
    FieldTexts& operator=(const FieldTexts&) = delete;
    virtual ~FieldTexts() = default;

    virtual Text GetText(SettingField field) = 0;
    virtual void SetText(SettingField field, const Text& text) = 0;
};

// The values of one launch, as read from the fields at one moment.
struct LaunchSettings {
    Text executablePath;
    Text map;
    Text otherArguments;
};

// Reads the three fields afresh, in this order: path, map, other arguments.
LaunchSettings ReadLaunchSettings(FieldTexts& fields);

// Presets the executable path to the game executable in the launcher's own
// folder. Run once, before the window is first shown.
void PresetExecutablePath(Runtime& runtime, FieldTexts& fields);

// The game server's command line: nothing is quoted, trimmed or escaped.
Text ServerCommandLine(const Text& executablePath, const Text& map, const Text& otherArguments);

} // namespace dss
