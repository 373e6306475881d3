// The floor for the launcher's start-up on Windows: the least a Win32
// program does to show a window of the launcher's client size (312 x 124
// pixels at 96 dpi) holding one button.
#include <windows.h>

namespace {

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"Win32Floor";
    if (RegisterClassW(&windowClass) == 0) {
        return 1;
    }
    constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    RECT frame{0, 0, 312, 124};
    AdjustWindowRect(&frame, kStyle, FALSE);
    HWND window = CreateWindowW(L"Win32Floor", L"Win32 floor", kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance,
                                nullptr);
    if (window == nullptr) {
        return 1;
    }
    CreateWindowW(L"BUTTON", L"Launch", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0, 312, 124, window, nullptr,
                  instance, nullptr);
    ShowWindow(window, show);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
