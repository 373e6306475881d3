#include "window/win32/main_window_win32.hpp"

#include "launch/launch_action.hpp"
#include "runtime/system_text.hpp"
#include "runtime/win32/last_error.hpp"
#include "runtime/win32/proc_address.hpp"
#include "window/main_window.hpp"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace dss {
namespace win32 {
namespace {

using layout::ControlId;
using layout::ControlKind;

constexpr wchar_t kClassName[] = L"DedicatedServerStarter.Form1";

// A fixed tool window: a caption with the close button only, no minimize or
// maximize box, no sizing border, and (tool window, unowned) no taskbar button.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kWindowExStyle = WS_EX_TOOLWINDOW;

// USER_DEFAULT_SCREEN_DPI: what a screen reports when nothing else is known.
constexpr int kDefaultDpi = 96;

std::wstring Wide(std::u16string_view text)
{
    return std::wstring(text.begin(), text.end());
}

Text Name(ControlId id)
{
    const std::string_view name = layout::Describe(id).name;
    return Text(name.begin(), name.end());
}

// Functions that Windows 10 (1607) added to user32; looked up rather than
// imported, so that the program still starts on older systems.
template <class Function>
Function User32Function(const char* name)
{
    return ProcAddress<Function>(GetModuleHandleW(L"user32.dll"), name);
}

struct ScreenDcReleaser {
    void operator()(HDC dc) const noexcept { ReleaseDC(nullptr, dc); }
};

int WindowDpi(HWND window)
{
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
    if (getDpiForWindow) {
        if (const UINT dpi = getDpiForWindow(window); dpi != 0) {
            return static_cast<int>(dpi);
        }
    }
    const std::unique_ptr<std::remove_pointer_t<HDC>, ScreenDcReleaser> screen(GetDC(nullptr));
    return screen ? GetDeviceCaps(screen.get(), LOGPIXELSY) : kDefaultDpi;
}

// The outer size of the window at `dpi`, around the form's client area.
SIZE WindowSizeAt(int dpi)
{
    using AdjustFunction = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = User32Function<AdjustFunction>("AdjustWindowRectExForDpi");
    RECT frame{0, 0, layout::TwipsToPixels(layout::kWindow.clientWidth, dpi),
               layout::TwipsToPixels(layout::kWindow.clientHeight, dpi)};
    // Without the dpi variant the frame is measured at the system's dpi,
    // which is also the only dpi such a system gives the window.
    if (adjustForDpi) {
        adjustForDpi(&frame, kWindowStyle, FALSE, kWindowExStyle, static_cast<UINT>(dpi));
    } else {
        AdjustWindowRectEx(&frame, kWindowStyle, FALSE, kWindowExStyle);
    }
    return {frame.right - frame.left, frame.bottom - frame.top};
}

RECT PixelRect(const layout::Rect& twips, int dpi)
{
    const int left = layout::TwipsToPixels(twips.left, dpi);
    const int top = layout::TwipsToPixels(twips.top, dpi);
    return {left, top, left + layout::TwipsToPixels(twips.width, dpi),
            top + layout::TwipsToPixels(twips.height, dpi)};
}

struct ControlClass {
    const wchar_t* name;
    DWORD style;
    DWORD exStyle;
};

ControlClass ClassOf(ControlKind kind)
{
    switch (kind) {
    case ControlKind::Label:
        // Captions have no access keys, so an "&" would show as it is.
        return {L"Static", SS_LEFT | SS_NOPREFIX, 0};
    case ControlKind::TextField:
        return {L"Edit", WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case ControlKind::PushButton:
        // Not BS_DEFPUSHBUTTON: Enter in a field must not press it. The
        // button has that style only while it has the focus (IsDefaultButton).
        return {L"Button", WS_TABSTOP | BS_PUSHBUTTON, 0};
    }
    std::abort();
}

// Top to bottom: the controls that take the focus in tab order, each label
// just above its field. The dialog manager tabs along this order, and
// screen readers name a field by the label just above it.
std::vector<ControlId> StackingOrder()
{
    std::vector<ControlId> order;
    for (const ControlId id : layout::TabOrder()) {
        for (const layout::ControlDescription& control : layout::kControls) {
            if (control.labelFor == id) {
                order.push_back(control.id);
            }
        }
        order.push_back(id);
    }
    for (const layout::ControlDescription& control : layout::kControls) {
        if (std::find(order.begin(), order.end(), control.id) == order.end()) {
            order.push_back(control.id);
        }
    }
    return order;
}

// One rule: Launch is the default button exactly while it has the focus, as
// the focused push button is in any dialog, and never otherwise, so Enter in
// a field presses nothing. The dialog manager reads it in two ways, the
// window's answer to DM_GETDEFID and the button's style (DLGC_DEFPUSHBUTTON),
// and both follow the rule at every moment: DM_GETDEFID is answered from the
// focus of that moment, and the button turns every style request into the
// style the rule gives. The Tab handling resets default buttons and asks
// DM_GETDEFID in an order that differs between Wine and Windows; no order can
// leave the style against the rule, and Enter on the focused Launch presses
// it by either way. The button records its focus (BST_FOCUS) in its own
// WM_SETFOCUS and WM_KILLFOCUS, so the rule never reads a focus in transit.
bool IsDefaultButton(HWND button)
{
    return (SendMessageW(button, BM_GETSTATE, 0, 0) & BST_FOCUS) != 0;
}

WPARAM StyleByRule(HWND button, WPARAM style)
{
    return (style & ~WPARAM{BS_TYPEMASK}) | (IsDefaultButton(button) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
}

// The button's procedure. The class's own is kept in the button's
// GWLP_USERDATA, which the class leaves to the application.
LRESULT CALLBACK DefaultWhileFocused(HWND button, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    const auto classProcedure = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(button, GWLP_USERDATA));
    if (message == BM_SETSTYLE) {
        wParam = StyleByRule(button, wParam);
    }
    const LRESULT result = CallWindowProcW(classProcedure, button, message, wParam, lParam);
    if (message == WM_SETFOCUS || message == WM_KILLFOCUS) {
        // A click, the end of a message box or coming back to the window
        // moves the focus without the dialog manager's Tab handling.
        SendMessageW(button, BM_SETSTYLE, StyleByRule(button, BS_PUSHBUTTON), TRUE);
    }
    return result;
}

LOGFONTW WindowFont(int dpi)
{
    const layout::FontDescription& font = layout::kWindow.font;
    LOGFONTW request{};
    // Negative: the character height in pixels, points × dpi / 72.
    request.lfHeight = -MulDiv(font.hundredthsOfPoint, dpi, layout::kPointsPerInch * 100);
    request.lfWeight = font.weight;
    request.lfCharSet = ANSI_CHARSET; // character set 0, as the form asks
    std::copy_n(font.face.begin(), std::min(font.face.size(), std::size(request.lfFaceName) - 1),
                request.lfFaceName);
    return request;
}

} // namespace

MainWindow::MainWindow(Runtime& runtime) : runtime_(runtime) {}

MainWindow::~MainWindow()
{
    if (window_) {
        DestroyWindow(window_);
    }
}

void MainWindow::Create()
{
    constexpr char16_t kAction[] = u"The window could not be created.";
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    commonControls_ = LoadCommonControls();

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        ThrowLastError(kAction, u"Form1");
    }

    // Placed where the system puts new windows; sized once its dpi is known.
    const std::wstring caption = Wide(layout::kWindow.caption);
    if (!CreateWindowExW(kWindowExStyle, kClassName, caption.c_str(), kWindowStyle, CW_USEDEFAULT,
                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this)) {
        ThrowLastError(kAction, u"Form1");
    }
    CreateControls();
    const int dpi = WindowDpi(window_);
    ApplyDpi(dpi);
    const SIZE size = WindowSizeAt(dpi);
    SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    lastFocus_ = Control(layout::TabOrder().front());

    // The Load step: the path field holds the preset before anyone sees it.
    RunReportingFailures(runtime_, [this] { PresetExecutablePath(runtime_, *this); });
}

void MainWindow::CreateControls()
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    for (const layout::ControlDescription& description : layout::kControls) {
        const ControlClass controlClass = ClassOf(description.kind);
        const HWND control = CreateWindowExW(
            controlClass.exStyle, controlClass.name, Wide(description.text).c_str(),
            WS_CHILD | WS_VISIBLE | controlClass.style, 0, 0, 0, 0, window_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlIdentifier(description.id))), instance, nullptr);
        if (!control) {
            ThrowLastError(u"A control could not be created.", Name(description.id));
        }
        controls_[static_cast<std::size_t>(description.id)] = control;
        if (description.kind == ControlKind::TextField) {
            // 0 lifts the limit on what the user may type to the largest there is.
            SendMessageW(control, EM_SETLIMITTEXT, 0, 0);
        }
        if (description.kind == ControlKind::PushButton) {
            SetWindowLongPtrW(control, GWLP_USERDATA, GetWindowLongPtrW(control, GWLP_WNDPROC));
            SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefaultWhileFocused));
        }
    }
    HWND above = HWND_TOP;
    for (const ControlId id : StackingOrder()) {
        SetWindowPos(Control(id), above, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        above = Control(id);
    }
}

void MainWindow::ApplyDpi(int dpi)
{
    const LOGFONTW request = WindowFont(dpi);
    UniqueGdiObject<HFONT> font(CreateFontIndirectW(&request));
    // On a later change of dpi the old font stays rather than none.
    if (!font && !font_) {
        const std::string_view face = layout::kWindow.font.face;
        ThrowLastError(u"The window's font could not be made.", Text(face.begin(), face.end()));
    }
    for (const layout::ControlDescription& description : layout::kControls) {
        const HWND control = Control(description.id);
        const RECT rect = PixelRect(description.twips, dpi);
        SetWindowPos(control, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        if (font) {
            SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
        }
    }
    // No control uses the old font any more.
    if (font) {
        font_ = std::move(font);
    }
}

void MainWindow::KeepLabelOffItsField(HDC dc, HWND label) const
{
    for (const layout::ControlDescription& description : layout::kControls) {
        if (description.labelFor && Control(description.id) == label) {
            RECT field{};
            GetWindowRect(Control(*description.labelFor), &field);
            MapWindowPoints(nullptr, label, reinterpret_cast<POINT*>(&field), 2);
            ExcludeClipRect(dc, field.left, field.top, field.right, field.bottom);
        }
    }
}

void MainWindow::Show(int showCommand)
{
    ShowWindow(window_, showCommand);
    SetFocus(lastFocus_);
}

bool MainWindow::PreTranslate(MSG& message)
{
    return window_ && IsDialogMessageW(window_, &message);
}

Text MainWindow::GetText(SettingField field)
{
    constexpr char16_t kAction[] = u"A field could not be read.";
    const ControlId id = layout::FieldControl(field);
    const HWND edit = Control(id);
    // An empty field also has length 0; only the error code tells a failure.
    SetLastError(ERROR_SUCCESS);
    const int length = GetWindowTextLengthW(edit);
    if (length == 0 && GetLastError() != ERROR_SUCCESS) {
        ThrowLastError(kAction, Name(id));
    }
    std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(edit, buffer.data(), length + 1);
    if (copied == 0 && length != 0) {
        ThrowLastError(kAction, Name(id));
    }
    return Text(buffer.begin(), buffer.begin() + copied);
}

void MainWindow::SetText(SettingField field, const Text& text)
{
    constexpr char16_t kAction[] = u"A field's text could not be set.";
    const ControlId id = layout::FieldControl(field);
    // The field would keep only the text before a null character.
    RejectEmbeddedNull(kAction, text, ERROR_INVALID_PARAMETER);
    if (!SetWindowTextW(Control(id), Wide(text).c_str())) {
        ThrowLastError(kAction, Name(id));
    }
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    if (message == WM_NCCREATE) {
        auto* const self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* const self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        self->controls_.fill(nullptr);
        self->lastFocus_ = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->OnMessage(message, wParam, lParam);
}

LRESULT MainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        // Only a click of Command1 acts. Enter and Escape arrive from the
        // dialog manager as IDOK and IDCANCEL, from no control, and do nothing.
        if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == ControlIdentifier(ControlId::Command1) &&
            reinterpret_cast<HWND>(lParam) == Control(ControlId::Command1)) {
            RunReportingFailures(runtime_, [this] { LaunchServer(runtime_, *this); });
        }
        return 0;
    case WM_CTLCOLORSTATIC:
        // A label about to paint, with its paint DC; the colours stay the
        // system's.
        KeepLabelOffItsField(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        break;
    case DM_GETDEFID:
        // Launch while it has the focus; otherwise none, an answer without
        // DC_HASDEFID, and Enter presses nothing.
        if (IsDefaultButton(Control(ControlId::Command1))) {
            return MAKELRESULT(ControlIdentifier(ControlId::Command1), DC_HASDEFID);
        }
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            if (const HWND focus = GetFocus(); focus && IsChild(window_, focus)) {
                lastFocus_ = focus;
            }
        }
        break;
    case WM_SETFOCUS:
        // Activation (after a message box, or coming back from another
        // program) gives the focus to the window itself: hand it on to the
        // control that had it.
        if (lastFocus_) {
            SetFocus(lastFocus_);
        }
        return 0;
    case WM_GETDPISCALEDSIZE:
        // Asked before a move to a screen of another dpi (per-monitor v2):
        // the exact size, rather than the old one scaled with rounding.
        *reinterpret_cast<SIZE*>(lParam) = WindowSizeAt(static_cast<int>(wParam));
        return TRUE;
    case WM_DPICHANGED: {
        // Both halves of wParam hold the new dpi; lParam the suggested frame.
        ApplyDpi(HIWORD(wParam));
        const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                     suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(EXIT_SUCCESS);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

} // namespace win32

int RunMainWindow(Runtime& runtime)
{
    win32::MainWindow window(runtime);
    if (!RunReportingFailures(runtime, [&window] { window.Create(); })) {
        return EXIT_FAILURE;
    }
    // As the starter asked (STARTUPINFO), normally shown and active.
    window.Show(SW_SHOWDEFAULT);
    MSG message{};
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            return static_cast<int>(message.wParam);
        }
        if (got == -1) {
            return EXIT_FAILURE;
        }
        if (!window.PreTranslate(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

} // namespace dss
