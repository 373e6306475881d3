#include "launch/launch_action.hpp"

#include "launch/texts.hpp"
#include "runtime/system_text.hpp"
#include "runtime/utf.hpp"

#include <exception>
#include <string>

namespace dss {

bool FileExists(Runtime& runtime, const Text& FileName) noexcept
{
    try {
        return (runtime.GetAttr(FileName) & kDirectoryAttribute) == 0;
    } catch (...) {
        return false;
    }
}

void LaunchServer(Runtime& runtime, FieldTexts& fields)
{
    const Text checked = fields.GetText(SettingField::ExecutablePath);
    if (FileExists(runtime, checked) == true) {
        const LaunchSettings settings = ReadLaunchSettings(fields);
        // The path that passed the check is the program started, and the
        // same text begins the command line the server sees: a path field
        // that reads differently now must not start a file never checked.
        runtime.Shell(checked, ServerCommandLine(checked, settings.map, settings.otherArguments), kMinimizedFocus);
        runtime.End();
    } else {
        runtime.MsgBox(texts::kInvalidPathPrompt, kCritical | kOkOnly, texts::kInvalidPathTitle);
    }
}

Text FailureMessage(const RuntimeError& failure)
{
    Text message = failure.Action();
    if (!failure.Subject().empty()) {
        message += u"\n\n";
        message += failure.Subject();
    }
    message += u"\n\n";
    message += failure.Reason();
    // Only the system's numbers are error numbers; Wine's status 1 is not EPERM.
    switch (failure.Domain()) {
    case ErrorDomain::System:
        message += u" (error " + NumberText(failure.Code()) + u')';
        break;
    case ErrorDomain::WineExitStatus:
        message += u" (Wine's exit status " + NumberText(failure.Code()) + u')';
        break;
    case ErrorDomain::WineSignal:
        message += u" (Wine's start command was ended by signal " + NumberText(failure.Code()) + u')';
        break;
    }
    return message;
}

bool RunReportingFailures(Runtime& runtime, const std::function<void()>& handler)
{
    Text message;
    try {
        handler();
        return true;
    } catch (const RuntimeError& failure) {
        message = FailureMessage(failure);
    } catch (const std::exception& failure) {
        message = FromUtf8(failure.what());
    }
    runtime.MsgBox(message, kCritical | kOkOnly, texts::kProgramTitle);
    return false;
}

} // namespace dss
