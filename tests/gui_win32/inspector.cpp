// Starts the real launcher and checks its window from another process, as a
// user and a screen reader would: styles, sizes, controls, tab order and
// focus; then presses keys and buttons and checks what the launcher starts.
#include "launch/texts.hpp"
#include "window/layout.hpp"
#include "window/win32/main_window_win32.hpp"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace dss::win32 {
namespace {

using layout::ControlId;
using layout::ControlKind;
using namespace std::chrono_literals;

constexpr int kDpi = 96;

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

// True once `condition` holds, polling for up to `limit`.
bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s)
{
    for (const auto end = std::chrono::steady_clock::now() + limit; !condition();) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// A window's text through WM_GETTEXT, which the system carries across
// processes (GetWindowTextW would give another process' control no message).
std::wstring TextOf(HWND window)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) {
        ADD_FAILURE() << "no answer to WM_GETTEXTLENGTH";
        return L"?";
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                        5000, &copied);
    text.resize(copied);
    return text;
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

RECT RectIn(HWND parent, HWND child)
{
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::string Show(const RECT& rect)
{
    return std::to_string(rect.left) + "," + std::to_string(rect.top) + " " + std::to_string(rect.right - rect.left) +
           "x" + std::to_string(rect.bottom - rect.top);
}

void Key(std::vector<INPUT>& inputs, WORD key, bool up)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(input);
}

void Send(std::vector<INPUT> inputs)
{
    ASSERT_EQ(SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)), inputs.size());
}

// `key`, `times` times, with `modifier` (such as VK_SHIFT) held down if given.
void Press(WORD key, WORD modifier = 0, int times = 1)
{
    std::vector<INPUT> inputs;
    if (modifier) {
        Key(inputs, modifier, false);
    }
    for (int i = 0; i < times; ++i) {
        Key(inputs, key, false);
        Key(inputs, key, true);
    }
    if (modifier) {
        Key(inputs, modifier, true);
    }
    Send(inputs);
}

// Types as a keyboard of any layout would: one UTF-16 unit a keystroke.
void Type(std::wstring_view text)
{
    std::vector<INPUT> inputs;
    for (const wchar_t unit : text) {
        for (const DWORD flag : {DWORD{0}, DWORD{KEYEVENTF_KEYUP}}) {
            INPUT input{};
            input.type = INPUT_KEYBOARD;
            input.ki.wScan = unit;
            input.ki.dwFlags = KEYEVENTF_UNICODE | flag;
            inputs.push_back(input);
        }
    }
    Send(inputs);
}

void ClickAt(HWND control)
{
    RECT rect{};
    GetWindowRect(control, &rect);
    SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    std::vector<INPUT> inputs(2);
    inputs[0].type = inputs[1].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    Send(inputs);
}

// Lets the wrapper script photograph the screen, when it runs this program.
void Screenshot(const char* name)
{
    if (GetEnvironmentVariableW(L"DSS_SCREENSHOTS", nullptr, 0) == 0) {
        return;
    }
    std::this_thread::sleep_for(500ms); // for Wine to put the last paint on the X screen
    std::printf("DSS-SCREENSHOT %s\n", name);
    std::fflush(stdout);
    std::string answer;
    std::getline(std::cin, answer);
}

class Handle {
public:
    explicit Handle(HANDLE handle = nullptr) : handle_(handle) {}
    ~Handle() { if (handle_) CloseHandle(handle_); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    void reset(HANDLE handle) { if (handle_) CloseHandle(handle_); handle_ = handle; }

private:
    HANDLE handle_;
};

struct WindowSearch {
    DWORD processId;
    std::wstring className;
    std::wstring caption;
    HWND found;
};

// An EnumWindows callback: WINAPI, which a lambda cannot be on 32-bit x86.
BOOL CALLBACK MatchWindow(HWND window, LPARAM data)
{
    auto& search = *reinterpret_cast<WindowSearch*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t title[256] = {};
    GetWindowTextW(window, title, 256);
    if (owner == search.processId && IsWindowVisible(window) && title == search.caption &&
        (search.className.empty() || ClassOf(window) == search.className)) {
        search.found = window;
        return FALSE;
    }
    return TRUE;
}

struct ProbeReport {
    std::wstring self;
    std::wstring showState;
    std::wstring commandLine;
};

// The launcher and the stand-in server ("Quarnvale.exe", the probe) in a
// folder whose name has spaces and letters beyond ASCII, so that the preset
// names the probe.
class LauncherWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t buffer[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, buffer, MAX_PATH);
        const std::wstring bin = std::wstring(buffer).substr(0, std::wstring(buffer).find_last_of(L'\\'));
        GetTempPathW(MAX_PATH, buffer);
        root_ = std::wstring(buffer) + L"dss-inspector-" + std::to_wstring(GetCurrentProcessId());
        folder_ = root_ + L"\\Dedicated Server Ünïcødé Сервер 服务器";
        report_ = root_ + L"\\probe-report";
        server_ = folder_ + L"\\" + Wide(texts::kGameExecutable);
        launcher_ = folder_ + L"\\DedicatedServerStarter.exe";
        for (const std::wstring& folder : {root_, folder_}) {
            ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        }
        ASSERT_TRUE(CopyFileW((bin + L"\\DedicatedServerStarter.exe").c_str(), launcher_.c_str(), FALSE));
        ASSERT_TRUE(CopyFileW((bin + L"\\probe.exe").c_str(), server_.c_str(), FALSE));
        DeleteFileW(report_.c_str());
        SetEnvironmentVariableW(L"DSS_PROBE_REPORT", report_.c_str());

        const HDC screen = GetDC(nullptr);
        const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        ASSERT_EQ(dpi, kDpi) << "the checks below are for a screen at 96 dpi";

        std::wstring commandLine = L"\"" + launcher_ + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION started{};
        ASSERT_TRUE(CreateProcessW(launcher_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &started));
        process_.reset(started.hProcess);
        CloseHandle(started.hThread);
        WaitForInputIdle(process_.get(), 30000);
        ASSERT_TRUE(Eventually([&] { return (window_ = FindWindowOf(started.dwProcessId, L"")) != nullptr; }, 30s))
            << "the launcher showed no window";
        thread_ = GetWindowThreadProcessId(window_, nullptr);
        processId_ = started.dwProcessId;
    }

    void TearDown() override
    {
        if (process_.get() && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.get(), 99);
            WaitForSingleObject(process_.get(), 10000);
        }
        for (const std::wstring& file : {launcher_, server_, report_}) {
            DeleteFileW(file.c_str());
        }
        RemoveDirectoryW(folder_.c_str());
        RemoveDirectoryW(root_.c_str());
    }

    // The visible top-level window of the process with the launcher's
    // caption, or with `caption` and the class `className` when given.
    static HWND FindWindowOf(DWORD processId, const std::wstring& className, const std::wstring& caption = {})
    {
        WindowSearch search{processId, className, caption.empty() ? Wide(texts::kProgramTitle) : caption, nullptr};
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    HWND Control(ControlId id) const { return GetDlgItem(window_, ControlIdentifier(id)); }

    HWND Focus() const
    {
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        return GetGUIThreadInfo(thread_, &info) ? info.hwndFocus : nullptr;
    }

    std::wstring Preset() const { return server_; }

    std::vector<std::wstring> FieldTexts() const
    {
        return {TextOf(Control(ControlId::Text1)), TextOf(Control(ControlId::Text2)),
                TextOf(Control(ControlId::Text3))};
    }

    void SetField(ControlId id, const std::wstring& text) const
    {
        DWORD_PTR result = 0;
        ASSERT_TRUE(SendMessageTimeoutW(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                                        SMTO_ABORTIFHUNG, 5000, &result));
    }

    // Keys go to the foreground window, as a user's would.
    void BringToFront() const
    {
        SetForegroundWindow(window_);
        ASSERT_TRUE(Eventually([&] { return GetForegroundWindow() == window_; })) << "the launcher is not in front";
    }

    // Presses Tab until `id` has the focus.
    void TabTo(ControlId id) const
    {
        for (int presses = 0; Focus() != Control(id) && presses < 8; ++presses) {
            const HWND before = Focus();
            Press(VK_TAB);
            ASSERT_TRUE(Eventually([&] { return Focus() != before; })) << "Tab moved nothing";
        }
        ASSERT_EQ(Focus(), Control(id));
    }

    bool Exited(std::chrono::milliseconds limit, DWORD& status) const
    {
        if (WaitForSingleObject(process_.get(), static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0) {
            return false;
        }
        return GetExitCodeProcess(process_.get(), &status) != 0;
    }

    bool ServerStarted() const { return GetFileAttributesW(report_.c_str()) != INVALID_FILE_ATTRIBUTES; }

    std::vector<std::wstring> ReportFields() const
    {
        std::ifstream in(report_.c_str(), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::wstring all(bytes.size() / sizeof(wchar_t), L'\0');
        std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(all.size() * sizeof(wchar_t)),
                  reinterpret_cast<char*>(all.data()));
        std::vector<std::wstring> fields;
        for (std::size_t start = 0, end; (end = all.find(L'\0', start)) != std::wstring::npos; start = end + 1) {
            fields.push_back(all.substr(start, end - start));
        }
        return fields;
    }

    ProbeReport ReadReport() const
    {
        // Read again until whole: one run on a loaded machine read it short
        // just after the probe had renamed it into place.
        std::vector<std::wstring> fields;
        if (!Eventually([&] { return (fields = ReportFields()).size() >= 3; }, 5s)) {
            ADD_FAILURE() << "incomplete probe report";
            return {};
        }
        return {fields[0], fields[1], fields[2]};
    }

    std::wstring root_, folder_, report_, server_, launcher_;
    Handle process_;
    DWORD processId_ = 0;
    DWORD thread_ = 0;
    HWND window_ = nullptr;
};

TEST_F(LauncherWindow, IsAFixedToolWindowLaidOutFromTheTable)
{
    const LONG_PTR style = GetWindowLongPtrW(window_, GWL_STYLE);
    const LONG_PTR exStyle = GetWindowLongPtrW(window_, GWL_EXSTYLE);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME)) << "minimize, maximize or sizing";
    EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW);
    EXPECT_FALSE(exStyle & WS_EX_APPWINDOW) << "a taskbar button";
    EXPECT_EQ(GetWindow(window_, GW_OWNER), nullptr);
    RECT client{};
    GetClientRect(window_, &client);
    EXPECT_EQ(client.right, layout::TwipsToPixels(layout::kWindow.clientWidth, kDpi));
    EXPECT_EQ(client.bottom, layout::TwipsToPixels(layout::kWindow.clientHeight, kDpi));
    EXPECT_EQ(client.right, 312);
    EXPECT_EQ(client.bottom, 124);

    int children = 0;
    for (HWND child = GetWindow(window_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        ++children;
        const int id = GetDlgCtrlID(child);
        EXPECT_NE(id, IDOK);
        EXPECT_NE(id, IDCANCEL);
    }
    EXPECT_EQ(children, static_cast<int>(layout::kControls.size()));

    for (const layout::ControlDescription& description : layout::kControls) {
        SCOPED_TRACE(std::string(description.name));
        const HWND control = Control(description.id);
        ASSERT_NE(control, nullptr);
        const LONG_PTR controlStyle = GetWindowLongPtrW(control, GWL_STYLE);
        const LONG_PTR controlExStyle = GetWindowLongPtrW(control, GWL_EXSTYLE);
        const int left = layout::TwipsToPixels(description.twips.left, kDpi);
        const int top = layout::TwipsToPixels(description.twips.top, kDpi);
        const RECT expected{left, top, left + layout::TwipsToPixels(description.twips.width, kDpi),
                            top + layout::TwipsToPixels(description.twips.height, kDpi)};
        EXPECT_EQ(Show(RectIn(window_, control)), Show(expected));
        EXPECT_TRUE(IsWindowVisible(control));
        switch (description.kind) {
        case ControlKind::Label:
            EXPECT_EQ(_wcsicmp(ClassOf(control).c_str(), L"Static"), 0);
            EXPECT_EQ(controlStyle & SS_TYPEMASK, SS_LEFT);
            EXPECT_TRUE(controlStyle & SS_NOPREFIX);
            EXPECT_FALSE(controlStyle & (SS_NOTIFY | WS_TABSTOP));
            EXPECT_EQ(TextOf(control), Wide(description.text));
            // Screen readers name a field by the label just above it.
            EXPECT_EQ(GetWindow(Control(*description.labelFor), GW_HWNDPREV), control);
            break;
        case ControlKind::TextField:
            EXPECT_EQ(_wcsicmp(ClassOf(control).c_str(), L"Edit"), 0);
            EXPECT_EQ(controlStyle & (WS_TABSTOP | ES_AUTOHSCROLL), WS_TABSTOP | ES_AUTOHSCROLL);
            EXPECT_FALSE(controlStyle & (ES_MULTILINE | ES_PASSWORD | ES_READONLY | WS_HSCROLL | WS_VSCROLL));
            EXPECT_EQ(controlStyle & (ES_CENTER | ES_RIGHT), ES_LEFT);
            EXPECT_TRUE(controlExStyle & WS_EX_CLIENTEDGE) << "the sunken border";
            EXPECT_GE(static_cast<DWORD>(SendMessageW(control, EM_GETLIMITTEXT, 0, 0)), 0x7FFFFFFEu) << "a limit";
            EXPECT_EQ(TextOf(control), description.id == ControlId::Text3 ? Preset() : Wide(description.text));
            break;
        case ControlKind::PushButton:
            EXPECT_EQ(_wcsicmp(ClassOf(control).c_str(), L"Button"), 0);
            EXPECT_EQ(controlStyle & BS_TYPEMASK, BS_PUSHBUTTON) << "a default button";
            EXPECT_TRUE(controlStyle & WS_TABSTOP);
            EXPECT_EQ(TextOf(control), Wide(description.text));
            break;
        }
    }
    EXPECT_NE(HIWORD(SendMessageW(window_, DM_GETDEFID, 0, 0)), DC_HASDEFID);

    // The labels reach into their fields; the fields' borders must show
    // there, even when a label repaints alone (as when just it is uncovered).
    // A sunken or themed border has its left edge in the colour of its top
    // edge, while the label's background is the window's.
    for (const layout::ControlDescription& description : layout::kControls) {
        if (description.labelFor) {
            RedrawWindow(Control(description.id), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        }
    }
    const HDC screen = GetDC(nullptr);
    for (const ControlId id : {ControlId::Text1, ControlId::Text2, ControlId::Text3}) {
        RECT field{};
        GetWindowRect(Control(id), &field);
        const COLORREF top = GetPixel(screen, (field.left + field.right) / 2, field.top);
        const COLORREF window = GetSysColor(COLOR_BTNFACE);
        COLORREF left = 0;
        EXPECT_TRUE(Eventually([&] {
            left = GetPixel(screen, field.left, (field.top + field.bottom) / 2);
            return left == top && left != window;
        })) << layout::Describe(id).name << ": left edge " << std::hex << left << ", top edge " << top;
    }
    ReleaseDC(nullptr, screen);
    Screenshot("window-96dpi");
}

// How the keyboard test reaches Launch from the map field: Tab three
// times, or Shift+Tab once.
enum class Reach { ThreeTabs, ShiftTab };

class LauncherKeys : public LauncherWindow, public ::testing::WithParamInterface<Reach> {
protected:
    void ReachLaunch() const
    {
        GetParam() == Reach::ThreeTabs ? Press(VK_TAB, 0, 3) : Press(VK_TAB, VK_SHIFT);
        ASSERT_TRUE(Eventually([&] { return Focus() == Control(ControlId::Command1); })) << "Launch not reached";
    }

    // The button shows the default look exactly while it has the focus.
    // Once the focus has moved, the launcher has begun the key that moved
    // it; a message sent to it is answered only after that key is done.
    void ExpectDefaultLookWithTheFocusOnly() const
    {
        DWORD_PTR result = 0;
        ASSERT_TRUE(SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result));
        const HWND button = Control(ControlId::Command1);
        EXPECT_EQ(GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK,
                  Focus() == button ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) << "the default look";
    }
};

TEST_P(LauncherKeys, StartsInTheMapFieldTabsInOrderAndEnterPressesOnlyLaunch)
{
    EXPECT_TRUE(Eventually([&] { return Focus() == Control(ControlId::Text1); })) << "focus at start";
    const auto order = layout::TabOrder();
    for (std::size_t i = 0; i < order.size(); ++i) {
        const HWND here = Control(order[i]);
        EXPECT_EQ(GetNextDlgTabItem(window_, here, FALSE), Control(order[(i + 1) % order.size()]));
        EXPECT_EQ(GetNextDlgTabItem(window_, Control(order[(i + 1) % order.size()]), TRUE), here);
    }

    BringToFront();
    const std::vector<std::wstring> texts = FieldTexts();
    for (std::size_t i = 0; i < order.size(); ++i) {
        const ControlId next = order[(i + 1) % order.size()];
        SCOPED_TRACE(std::string(layout::Describe(order[i]).name));
        ASSERT_EQ(Focus(), Control(order[i]));
        // Enter and Escape, then Tab: once the focus moved, the keys before
        // it have been handled.
        if (order[i] != ControlId::Command1) {
            Press(VK_RETURN);
        }
        Press(VK_ESCAPE);
        Press(VK_TAB);
        ASSERT_TRUE(Eventually([&] { return Focus() == Control(next); })) << "Tab";
        EXPECT_EQ(FieldTexts(), texts);
        EXPECT_EQ(FindWindowOf(processId_, L"#32770", Wide(texts::kInvalidPathTitle)), nullptr);
        EXPECT_TRUE(IsWindowVisible(window_));
        ExpectDefaultLookWithTheFocusOnly();
    }
    for (std::size_t i = order.size(); i > 0; --i) {
        Press(VK_TAB, VK_SHIFT);
        ASSERT_TRUE(Eventually([&] { return Focus() == Control(order[i - 1]); })) << "Shift+Tab";
        ExpectDefaultLookWithTheFocusOnly();
    }

    // Enter on Launch reached from the map field: with a path to no file
    // the box comes, and Enter there closes it; with the server's path the
    // server starts and the launcher ends.
    const std::wstring map = TextOf(Control(ControlId::Text1));
    SetField(ControlId::Text3, folder_ + L"\\missing.exe");
    ReachLaunch();
    ExpectDefaultLookWithTheFocusOnly();
    Press(VK_RETURN);
    HWND box = nullptr;
    ASSERT_TRUE(Eventually([&] {
        return (box = FindWindowOf(processId_, L"#32770", Wide(texts::kInvalidPathTitle))) != nullptr;
    })) << "Enter on Launch showed no message box";
    Screenshot(GetParam() == Reach::ThreeTabs ? "enter-after-three-tabs" : "enter-after-shift-tab");
    ASSERT_TRUE(Eventually([&] { return GetForegroundWindow() == box; })) << "the box is not in front";
    Press(VK_RETURN);
    ASSERT_TRUE(Eventually([&] { return !IsWindow(box); })) << "Enter did not close the box";
    ASSERT_TRUE(Eventually([&] { return Focus() == Control(ControlId::Command1); })) << "focus after the box";
    ExpectDefaultLookWithTheFocusOnly();
    EXPECT_FALSE(ServerStarted());

    SetField(ControlId::Text3, Preset());
    Press(VK_TAB);
    ASSERT_TRUE(Eventually([&] { return Focus() == Control(ControlId::Text1); })) << "Tab from Launch";
    ReachLaunch();
    Press(VK_RETURN);
    DWORD status = 1;
    ASSERT_TRUE(Exited(10s, status)) << "Enter on Launch left the launcher open";
    EXPECT_EQ(status, 0u);
    ASSERT_TRUE(Eventually([&] { return ServerStarted(); }, 30s)) << "the server did not start";
    EXPECT_EQ(ReadReport().commandLine, Preset() + Wide(texts::kServerOptions) + map + L" ");
}

INSTANTIATE_TEST_SUITE_P(Keyboard, LauncherKeys, ::testing::Values(Reach::ThreeTabs, Reach::ShiftTab),
                         [](const ::testing::TestParamInfo<Reach>& way) {
                             return way.param == Reach::ThreeTabs ? "ThreeTabs" : "ShiftTab";
                         });

TEST_F(LauncherWindow, RefusesAnInvalidPathThenStartsTheServerAndEnds)
{
    BringToFront();
    const std::wstring map = TextOf(Control(ControlId::Text1));
    const std::wstring arguments = L"-name \"Friday  Night\" +set Карта 地図";
    const HWND button = Control(ControlId::Command1);
    const auto looksDefault = [&] { return (GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON; };

    // Pressed with the mouse, then with Enter and Space on the button, which
    // has the focus again once the box has gone; never tabbed to so far.
    struct Attempt {
        const char* how;
        std::wstring path;
        std::function<void()> press;
    };
    const Attempt attempts[] = {
        {"a folder, a click", folder_, [&] { ClickAt(button); }},
        {"a folder, Enter", folder_, [] { Press(VK_RETURN); }},
        {"empty, Space", L"", [] { Press(VK_SPACE); }},
    };
    for (const Attempt& attempt : attempts) {
        SCOPED_TRACE(attempt.how);
        SetField(ControlId::Text3, attempt.path);
        const std::vector<std::wstring> texts = FieldTexts();
        attempt.press();
        HWND box = nullptr;
        ASSERT_TRUE(Eventually([&] {
            return (box = FindWindowOf(processId_, L"#32770", Wide(texts::kInvalidPathTitle))) != nullptr;
        })) << "no message box";
        EXPECT_EQ(GetWindow(box, GW_OWNER), window_) << "the box is not modal to the window";
        std::vector<HWND> buttons;
        std::wstring prompt;
        bool icon = false;
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            if (_wcsicmp(ClassOf(child).c_str(), L"Button") == 0) {
                buttons.push_back(child);
            } else if (_wcsicmp(ClassOf(child).c_str(), L"Static") == 0) {
                icon = icon || (GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
                if (const std::wstring text = TextOf(child); !text.empty()) {
                    prompt = text;
                }
            }
        }
        EXPECT_EQ(prompt, Wide(texts::kInvalidPathPrompt));
        EXPECT_TRUE(icon);
        ASSERT_EQ(buttons.size(), 1u);
        EXPECT_EQ(GetDlgCtrlID(buttons[0]), IDOK);
        if (&attempt == &attempts[0]) {
            Screenshot("invalid-path");
        }
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(buttons[0]));
        ASSERT_TRUE(Eventually([&] { return !IsWindow(box); })) << "the box stayed";
        EXPECT_TRUE(IsWindowVisible(window_));
        EXPECT_EQ(FieldTexts(), texts);
        ASSERT_TRUE(Eventually([&] { return Focus() == Control(ControlId::Command1); })) << "focus after the box";
        EXPECT_FALSE(ServerStarted());
    }

    // Tabbed to, the button looks like the default; a click into a field
    // takes that look away, as Enter there presses nothing.
    TabTo(ControlId::Text1);
    TabTo(ControlId::Command1);
    ClickAt(Control(ControlId::Text2));
    ASSERT_TRUE(Eventually([&] { return Focus() == Control(ControlId::Text2); })) << "the click did not focus";
    EXPECT_FALSE(looksDefault()) << "the button looks like the default with the focus in a field";
    Screenshot("field-clicked");

    SetField(ControlId::Text3, Preset());
    Type(arguments);
    ASSERT_TRUE(Eventually([&] { return TextOf(Control(ControlId::Text2)) == arguments; })) << "typing";
    ClickAt(button);

    DWORD status = 1;
    ASSERT_TRUE(Exited(10s, status)) << "the launcher stayed";
    EXPECT_EQ(status, 0u);
    ASSERT_TRUE(Eventually([&] { return ServerStarted(); }, 30s)) << "the server did not start";
    const ProbeReport report = ReadReport();
    EXPECT_EQ(report.self, Preset());
    EXPECT_EQ(report.commandLine, Preset() + Wide(texts::kServerOptions) + map + L" " + arguments);
    EXPECT_EQ(report.showState, L"2");
}

// Alt+F4 goes through the window menu's Close (SC_CLOSE) to WM_CLOSE.
TEST_F(LauncherWindow, ClosesAtAltF4StartingNothing)
{
    BringToFront();
    Press(VK_F4, VK_MENU);
    DWORD status = 1;
    ASSERT_TRUE(Exited(10s, status));
    EXPECT_EQ(status, 0u);
    std::this_thread::sleep_for(1s);
    EXPECT_FALSE(ServerStarted());
}

} // namespace
} // namespace dss::win32
