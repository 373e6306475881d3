#pragma once

// The launcher's own words and defaults, kept in one place.
namespace dss::texts {

inline constexpr char16_t kProgramTitle[] = u"Dedicated Server Starter";

inline constexpr char16_t kGameExecutable[] = u"Quarnvale.exe";
inline constexpr char16_t kDefaultMap[] = u"base/data/missions/bedroom.mis";

// Between the executable path and the map: the game's options for running
// as a dedicated server and for naming the mission file that follows.
inline constexpr char16_t kServerOptions[] = u" -dedicated -mission ";

inline constexpr char16_t kInvalidPathPrompt[] = u"The path you entered is not valid!";
inline constexpr char16_t kInvalidPathTitle[] = u"Invalid Path";

inline constexpr char16_t kPathLabel[] = u"QV Path:";
inline constexpr char16_t kMapLabel[] = u"Map:";
inline constexpr char16_t kArgumentsLabel[] = u"Other Arguments:";
inline constexpr char16_t kLaunchButton[] = u"Launch";

} // namespace dss::texts
