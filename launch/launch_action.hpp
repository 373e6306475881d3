#pragma once

#include "launch/launch_settings.hpp"

#include <functional>

// What the Launch button does.
namespace dss {

// True when `FileName` names something that exists and is not a folder.
// Never fails: any failure to examine the name counts as "no".
bool FileExists(Runtime& runtime, const Text& FileName) noexcept;

// Checks the executable path; then either starts the server minimized and
// ends the program, or shows the "Invalid Path" message and returns.
// A failure to read a field or to start the server propagates to the caller.
void LaunchServer(Runtime& runtime, FieldTexts& fields);

// Runs an event handler and shows any failure that escapes it in a critical
// message box, so that the window stays open with every field as it was.
// Returns false when a failure was shown.
bool RunReportingFailures(Runtime& runtime, const std::function<void()>& handler);

// The message box text for a failure that escaped a handler.
Text FailureMessage(const RuntimeError& failure);

} // namespace dss
