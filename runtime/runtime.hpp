#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>

// The platform services the launcher relies on. One implementation per
// operating system is linked in; tests substitute a recording fake.
namespace dss {

// Counted UTF-16 text of any length: what the fields hold and what reaches
// the file check and the process start, unconverted on Windows.
using Text = std::u16string;

// Attribute bit of a folder in a file-attribute query (FILE_ATTRIBUTE_DIRECTORY).
inline constexpr std::uint32_t kDirectoryAttribute = 16;

// Show state for a started program: minimized, and active (SW_SHOWMINIMIZED).
inline constexpr int kMinimizedFocus = 2;

// Message box style bits and results; the values are Windows' MB_* and ID*.
inline constexpr int kOkOnly = 0;
inline constexpr int kCritical = 16;
inline constexpr int kButtonsMask = 0x0F;
inline constexpr int kIconMask = 0xF0;
inline constexpr int kOkPressed = 1;

// Whose number a failure's code is: the system's error number (errno on
// Linux, GetLastError on Windows), which messages show as "error N", or the
// exit status or signal of Wine's start command, which is Wine's own.
enum class ErrorDomain {
    System,
    WineExitStatus,
    WineSignal,
};

// A failing system call: what was being done, to what, and the system's own
// error code and message.
class RuntimeError : public std::runtime_error {
public:
    RuntimeError(Text action, Text subject, long code, Text reason, ErrorDomain domain = ErrorDomain::System);

    const Text& Action() const noexcept { return action_; }
    const Text& Subject() const noexcept { return subject_; }
    long Code() const noexcept { return code_; }
    ErrorDomain Domain() const noexcept { return domain_; }
    const Text& Reason() const noexcept { return reason_; }

private:
    Text action_;
    Text subject_;
    long code_;
    ErrorDomain domain_;
    Text reason_;
};

class Runtime {
public:
    Runtime() = default;
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;
    virtual ~Runtime() = default;

    // The folder that holds the running executable.
    virtual Text AppPath() = 0;

    // The separator between a folder and a name in paths of this system.
    virtual char16_t FolderSeparator() const = 0;

    // Attribute bits of a path; throws RuntimeError when it cannot be examined.
    virtual std::uint32_t GetAttr(const Text& path) = 0;

    // Starts `program` without waiting and returns its task (process) id.
    // `commandLine` is the whole command line as the program is to see it,
    // beginning with the text of `program`; `program` alone decides which
    // file runs. On Windows a batch file is started through cmd.exe with its
    // path in quotes, or refused when cmd.exe would read the path as another.
    // Throws RuntimeError when nothing could be started.
    virtual std::uint32_t Shell(const Text& program, const Text& commandLine, int showState) = 0;

    // A modal message box; returns the button that closed it.
    virtual int MsgBox(const Text& prompt, int style, const Text& title) = 0;

    // Ends the program at once.
    virtual void End() = 0;

    // Told true when a start begins to wait for the system's answer (Wine's
    // on Linux, which can take half a minute), and false when the answer is
    // in, so that the window can show it is busy meanwhile.
    void SetBusyIndicator(std::function<void(bool busy)> indicator) { busyIndicator_ = std::move(indicator); }

protected:
    void IndicateBusy(bool busy) const
    {
        if (busyIndicator_) {
            busyIndicator_(busy);
        }
    }

private:
    std::function<void(bool busy)> busyIndicator_;
};

// The implementation for the system the program was built for.
Runtime& SystemRuntime();

} // namespace dss
