#include "launch/launch_settings.hpp"

#include "launch/texts.hpp"

namespace dss {

LaunchSettings ReadLaunchSettings(FieldTexts& fields)
{
    LaunchSettings settings;
    settings.executablePath = fields.GetText(SettingField::ExecutablePath);
    settings.map = fields.GetText(SettingField::Map);
    settings.otherArguments = fields.GetText(SettingField::OtherArguments);
    return settings;
}

void PresetExecutablePath(Runtime& runtime, FieldTexts& fields)
{
    Text path = runtime.AppPath();
    // A folder at the root of a drive or of the file system is reported with
    // its separator ("C:\", "/"); adding a second one would show a doubled
    // separator in the field.
    const char16_t separator = runtime.FolderSeparator();
    if (path.empty() || path.back() != separator) {
        path += separator;
    }
    path += texts::kGameExecutable;
    fields.SetText(SettingField::ExecutablePath, path);
}

Text ServerCommandLine(const Text& executablePath, const Text& map, const Text& otherArguments)
{
    Text commandLine;
    commandLine.reserve(executablePath.size() + std::size(texts::kServerOptions) + map.size() + 1 +
                        otherArguments.size());
    commandLine += executablePath;
    commandLine += texts::kServerOptions;
    commandLine += map;
    commandLine += u' ';
    commandLine += otherArguments;
    return commandLine;
}

} // namespace dss
