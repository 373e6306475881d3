#pragma once

#include "launch/launch_settings.hpp"
#include "runtime/runtime.hpp"
#include "window/layout.hpp"
#include "window/win32/common_controls.hpp"

#include <windows.h>

#include <array>
#include <memory>
#include <type_traits>

// The Win32 window behind RunMainWindow. Tests create it without a message
// loop and a recording runtime, and look at it from inside.
namespace dss::win32 {

struct GdiObjectDeleter {
    void operator()(HGDIOBJ object) const noexcept { DeleteObject(object); }
};
template <class Handle>
using UniqueGdiObject = std::unique_ptr<std::remove_pointer_t<Handle>, GdiObjectDeleter>;

// The identifier of a control (GetDlgCtrlID). Never IDOK or IDCANCEL, which
// the dialog manager sends for Enter and Escape: those must press nothing.
constexpr int ControlIdentifier(layout::ControlId id)
{
    return 100 + static_cast<int>(id);
}

class MainWindow final : public FieldTexts {
public:
    explicit MainWindow(Runtime& runtime);
    ~MainWindow() override;

    // Creates the window hidden, with its controls laid out at the window's
    // dpi, then runs the Load step: the executable path preset.
    void Create();

    // Shows the window and puts the focus in the map field.
    void Show(int showCommand);

    // Tab and Shift+Tab between the controls; true when `message` was used.
    bool PreTranslate(MSG& message);

    HWND Handle() const noexcept { return window_; }
    HWND Control(layout::ControlId id) const noexcept { return controls_[static_cast<std::size_t>(id)]; }

    Text GetText(SettingField field) override;
    void SetText(SettingField field, const Text& text) override;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void ApplyDpi(int dpi);

    // A label's rectangle runs into its field's (by 25 pixels for the path
    // at 96 dpi; in the original form labels lie under the fields). Statics
    // paint with their parent's clipping (class style CS_PARENTDC), so
    // neither the z-order nor a window region stops them painting over the
    // field: taking the field out of the paint DC's clipping does.
    void KeepLabelOffItsField(HDC dc, HWND label) const;

    Runtime& runtime_;
    // Freed only after the destructor has destroyed the window: the controls
    // are of its classes.
    UniqueModule commonControls_;
    HWND window_ = nullptr;
    std::array<HWND, layout::kControls.size()> controls_{};
    UniqueGdiObject<HFONT> font_;
    HWND lastFocus_ = nullptr;
};

} // namespace dss::win32
