// The window in-process, with a recording runtime and no message loop: the
// fonts it asks for (Wine carries no WM_GETFONT across processes), dpi
// changes, the field texts and what its handlers do.
#include "tests/fakes.hpp"
#include "window/layout.hpp"
#include "window/win32/main_window_win32.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace dss::win32 {
namespace {

using layout::ControlId;
using testing::FakeRuntime;

constexpr char16_t kFolder[] = u"C:\\Games\\Quarnvale Сервер";
constexpr char16_t kServer[] = u"C:\\Games\\Quarnvale Сервер\\Quarnvale.exe";

RECT Expected(const layout::Rect& twips, int dpi)
{
    const int left = layout::TwipsToPixels(twips.left, dpi);
    const int top = layout::TwipsToPixels(twips.top, dpi);
    return {left, top, left + layout::TwipsToPixels(twips.width, dpi), top + layout::TwipsToPixels(twips.height, dpi)};
}

std::string Show(const RECT& rect)
{
    return std::to_string(rect.left) + "," + std::to_string(rect.top) + " " + std::to_string(rect.right - rect.left) +
           "x" + std::to_string(rect.bottom - rect.top);
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.Create();
        ASSERT_NE(window.Handle(), nullptr);
    }

    void Click()
    {
        SendMessageW(window.Handle(), WM_COMMAND, MAKEWPARAM(ControlIdentifier(ControlId::Command1), BN_CLICKED),
                     reinterpret_cast<LPARAM>(window.Control(ControlId::Command1)));
    }

    // Every control where the table puts it at `dpi`, in the font asked for
    // at that dpi, and no label painting over its field.
    void ExpectLaidOutAt(int dpi, LONG fontHeight)
    {
        for (const layout::ControlDescription& description : layout::kControls) {
            SCOPED_TRACE(std::string(description.name) + " at " + std::to_string(dpi) + " dpi");
            const HWND control = window.Control(description.id);
            RECT rect{};
            GetWindowRect(control, &rect);
            MapWindowPoints(nullptr, window.Handle(), reinterpret_cast<POINT*>(&rect), 2);
            EXPECT_EQ(Show(rect), Show(Expected(description.twips, dpi)));

            LOGFONTW asked{};
            const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
            ASSERT_EQ(GetObjectW(font, sizeof(asked), &asked), static_cast<int>(sizeof(asked)));
            EXPECT_STREQ(asked.lfFaceName, L"Verdana");
            EXPECT_EQ(asked.lfHeight, fontHeight);
            EXPECT_EQ(asked.lfWeight, FW_BOLD);
            EXPECT_EQ(asked.lfCharSet, 0);
            EXPECT_FALSE(asked.lfItalic || asked.lfUnderline || asked.lfStrikeOut);

            if (description.labelFor) {
                // What the label may paint, once the window has seen its paint DC.
                const UniqueGdiObject<HBITMAP> surface(
                    CreateBitmap(rect.right - rect.left, rect.bottom - rect.top, 1, 32, nullptr));
                const std::unique_ptr<std::remove_pointer_t<HDC>, decltype(&DeleteDC)> dc(
                    CreateCompatibleDC(nullptr), &DeleteDC);
                const HGDIOBJ previous = SelectObject(dc.get(), surface.get());
                SendMessageW(window.Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.get()),
                             reinterpret_cast<LPARAM>(control));
                const UniqueGdiObject<HRGN> paintable(CreateRectRgn(0, 0, 0, 0));
                EXPECT_EQ(GetClipRgn(dc.get(), paintable.get()), 1);
                RECT field = Expected(layout::Describe(*description.labelFor).twips, dpi);
                OffsetRect(&field, -rect.left, -rect.top);
                EXPECT_FALSE(RectInRegion(paintable.get(), &field)) << "the label paints over its field";
                EXPECT_TRUE(PtInRegion(paintable.get(), 0, 0));
                SelectObject(dc.get(), previous);
            }
        }
    }

    FakeRuntime runtime;
    MainWindow window{runtime};
};

TEST_F(MainWindowTest, RunsThePresetBeforeTheWindowIsShown)
{
    EXPECT_FALSE(IsWindowVisible(window.Handle()));
    EXPECT_EQ(window.GetText(SettingField::ExecutablePath), u"D:\\Games\\Quarnvale\\Quarnvale.exe");
    EXPECT_EQ(window.GetText(SettingField::Map), u"base/data/missions/bedroom.mis");
    EXPECT_EQ(window.GetText(SettingField::OtherArguments), u"");
    EXPECT_EQ(runtime.calls, std::vector<std::string>{"AppPath"});
    EXPECT_TRUE(runtime.boxes.empty());
}

TEST(MainWindowLoad, ReportsAFailingPresetAndStillMakesTheWindow)
{
    FakeRuntime runtime;
    runtime.appPathFailure = RuntimeError(u"find the folder", u"", 5, u"Access is denied.");
    MainWindow window(runtime);
    window.Create();
    ASSERT_NE(window.Handle(), nullptr);
    ASSERT_EQ(runtime.boxes.size(), 1u);
    EXPECT_EQ(runtime.boxes[0].style, kCritical | kOkOnly);
    EXPECT_NE(runtime.boxes[0].prompt.find(u"Access is denied."), Text::npos);
    EXPECT_EQ(window.GetText(SettingField::ExecutablePath), u"");
}

TEST_F(MainWindowTest, AsksForBoldVerdanaEverywhereAndFollowsTheDpi)
{
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    ASSERT_EQ(dpi, 96) << "the window is created at the screen's dpi";
    ExpectLaidOutAt(96, -9);

    // 6.75 pt is 9 pixels at 96 dpi; MulDiv rounds 11.25 and 13.5 to nearest.
    for (const auto& [newDpi, height] : {std::pair{120, -11}, {144, -14}, {192, -18}, {96, -9}}) {
        const auto oldFont = reinterpret_cast<HFONT>(SendMessageW(window.Control(ControlId::Text1), WM_GETFONT, 0, 0));
        const RECT suggested{40, 30, 50 + layout::TwipsToPixels(layout::kWindow.clientWidth, newDpi),
                             60 + layout::TwipsToPixels(layout::kWindow.clientHeight, newDpi)};
        SendMessageW(window.Handle(), WM_DPICHANGED, MAKEWPARAM(newDpi, newDpi),
                     reinterpret_cast<LPARAM>(&suggested));
        RECT frame{};
        GetWindowRect(window.Handle(), &frame);
        EXPECT_EQ(Show(frame), Show(suggested)) << "the suggested frame at " << newDpi << " dpi";
        ExpectLaidOutAt(newDpi, height);
        EXPECT_NE(GetObjectType(oldFont), static_cast<DWORD>(OBJ_FONT)) << "the old font is still there";

        // Asked before such a move: the frame around the exact client area.
        SIZE size{};
        EXPECT_TRUE(SendMessageW(window.Handle(), WM_GETDPISCALEDSIZE, newDpi, reinterpret_cast<LPARAM>(&size)));
        RECT client{0, 0, layout::TwipsToPixels(layout::kWindow.clientWidth, newDpi),
                    layout::TwipsToPixels(layout::kWindow.clientHeight, newDpi)};
        AdjustWindowRectExForDpi(&client, static_cast<DWORD>(GetWindowLongPtrW(window.Handle(), GWL_STYLE)), FALSE,
                                 static_cast<DWORD>(GetWindowLongPtrW(window.Handle(), GWL_EXSTYLE)),
                                 static_cast<UINT>(newDpi));
        EXPECT_EQ(size.cx, client.right - client.left);
        EXPECT_EQ(size.cy, client.bottom - client.top);
    }
}

TEST_F(MainWindowTest, FieldsHoldAnyTextUnchanged)
{
    Text longText;
    for (int i = 0; i < 20000; ++i) {
        longText += u"ж 🎮\"x"; // past the 32767 characters an edit takes by default
    }
    for (const SettingField field : {SettingField::ExecutablePath, SettingField::Map, SettingField::OtherArguments}) {
        for (const Text& text : {longText, Text(u"  D:\\Спецзнаки & %PATH% ^ \"q\"  "), Text()}) {
            window.SetText(field, text);
            EXPECT_EQ(window.GetText(field), text);
        }
        EXPECT_EQ(SendMessageW(window.Control(layout::FieldControl(field)), EM_GETLIMITTEXT, 0, 0), 0x7FFFFFFE);
    }
    window.SetText(SettingField::Map, u"kept");
    EXPECT_THROW(window.SetText(SettingField::Map, Text(u"a\0b", 3)), RuntimeError);
    EXPECT_EQ(window.GetText(SettingField::Map), u"kept");
}

TEST_F(MainWindowTest, EnterAndEscapePressNothingAndLaunchStartsTheServer)
{
    runtime.files[u"D:\\Games\\Quarnvale\\Quarnvale.exe"] = FILE_ATTRIBUTE_ARCHIVE;
    window.SetText(SettingField::OtherArguments, u"+set port 28000");
    for (const ControlId field : {ControlId::Text1, ControlId::Text2, ControlId::Text3}) {
        for (const WPARAM key : {WPARAM{VK_RETURN}, WPARAM{VK_ESCAPE}}) {
            MSG message{window.Control(field), WM_KEYDOWN, key, 1, 0, {}};
            EXPECT_TRUE(window.PreTranslate(message));
        }
    }
    for (const WPARAM command : {WPARAM{IDOK}, WPARAM{IDCANCEL}}) {
        SendMessageW(window.Handle(), WM_COMMAND, command, 0);
    }
    EXPECT_NE(HIWORD(SendMessageW(window.Handle(), DM_GETDEFID, 0, 0)), DC_HASDEFID);
    EXPECT_EQ(runtime.calls, std::vector<std::string>{"AppPath"});

    Click();
    ASSERT_EQ(runtime.shells.size(), 1u);
    EXPECT_EQ(runtime.shells[0].program, u"D:\\Games\\Quarnvale\\Quarnvale.exe");
    EXPECT_EQ(runtime.shells[0].commandLine,
              u"D:\\Games\\Quarnvale\\Quarnvale.exe -dedicated -mission base/data/missions/bedroom.mis +set port 28000");
    EXPECT_EQ(runtime.shells[0].showState, 2);
    EXPECT_EQ(runtime.calls.back(), "End");
}

TEST_F(MainWindowTest, ShowsWhyNothingStartedAndKeepsEveryField)
{
    window.SetText(SettingField::ExecutablePath, kFolder);
    runtime.files[kFolder] = FILE_ATTRIBUTE_DIRECTORY;
    Click();
    ASSERT_EQ(runtime.boxes.size(), 1u);
    EXPECT_EQ(runtime.boxes[0].prompt, u"The path you entered is not valid!");
    EXPECT_EQ(runtime.boxes[0].title, u"Invalid Path");
    EXPECT_EQ(runtime.boxes[0].style, 16);

    window.SetText(SettingField::ExecutablePath, kServer);
    runtime.files[kServer] = 0;
    runtime.shellFailure = RuntimeError(u"start", kServer, 193, u"Not a valid Win32 application.");
    Click();
    ASSERT_EQ(runtime.boxes.size(), 2u);
    EXPECT_EQ(runtime.boxes[1].title, u"Dedicated Server Starter");
    EXPECT_EQ(runtime.boxes[1].style, kCritical | kOkOnly);
    EXPECT_NE(runtime.boxes[1].prompt.find(u"Not a valid Win32 application."), Text::npos);
    EXPECT_TRUE(IsWindow(window.Handle()));
    EXPECT_EQ(window.GetText(SettingField::ExecutablePath), kServer);
    EXPECT_EQ(window.GetText(SettingField::Map), u"base/data/missions/bedroom.mis");
    EXPECT_EQ(std::count(runtime.calls.begin(), runtime.calls.end(), "End"), 0);
}

// The common controls its manifest asks for (linked into this program as
// into the launcher): version 6, from the side-by-side store, though loaded
// by a bare name once the search is restricted. Wine's DllGetVersion says
// 5.81 for either version, so the store's folder tells.
TEST(CommonControls, AreVersion6FromTheSideBySideStore)
{
    const UniqueModule module = LoadCommonControls();
    wchar_t path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(module.get(), path, MAX_PATH), 0u);
    std::wstring lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(), towlower);
    EXPECT_NE(lower.find(L"\\winsxs\\"), std::wstring::npos) << path;
    EXPECT_NE(lower.find(L"_microsoft.windows.common-controls_6595b64144ccf1df_6."), std::wstring::npos) << path;
}

} // namespace
} // namespace dss::win32
