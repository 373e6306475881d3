#include "window/win32/common_controls.hpp"

#include "runtime/win32/last_error.hpp"
#include "runtime/win32/proc_address.hpp"

#include <commctrl.h>

namespace dss::win32 {

UniqueModule LoadCommonControls()
{
    constexpr char16_t kAction[] = u"The common controls could not be loaded.";
    // The manifest's activation context turns the bare name into version 6
    // from the side-by-side store.
    UniqueModule module(LoadLibraryW(L"comctl32.dll"));
    if (!module) {
        ThrowLastError(kAction, u"comctl32.dll");
    }
    using InitCommonControlsExFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    const auto initCommonControlsEx = ProcAddress<InitCommonControlsExFunction>(module.get(), "InitCommonControlsEx");
    if (!initCommonControlsEx) {
        ThrowLastError(kAction, u"InitCommonControlsEx");
    }
    // Not checked: a class it could not register fails, and is reported,
    // when the control is created.
    const INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_STANDARD_CLASSES};
    initCommonControlsEx(&classes);
    return module;
}

} // namespace dss::win32
