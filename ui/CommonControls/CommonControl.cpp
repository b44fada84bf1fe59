#include "ui/CommonControls/CommonControl.h"

#include <commctrl.h>

namespace CommonControls {

namespace {
constexpr UINT_PTR kSubclassId = 1;
}

CommonControl::~CommonControl() {
    if (subclassed_ && Handle()) ::RemoveWindowSubclass(Handle(), &SubclassProc, kSubclassId);
}

DWORD CommonControl::CreateControl(Window* parent, const wchar_t* className, DWORD style,
                                   uint16_t flags, DWORD exStyle, UINT_PTR id) {
    const DWORD error =
        Create(parent, className, L"", style | WS_CHILD,
               flags | WindowFlags::SystemClass | WindowFlags::Reflect, {}, exStyle, id);
    if (error) return error;
    if (const DWORD subclassError = Subclass(Handle())) return subclassError;
    ::ShowWindow(Handle(), SW_SHOW);
    OnAttached();
    return 0;
}

DWORD CommonControl::Attach(Window* dialog, int id) {
    HWND item = ::GetDlgItem(dialog->Handle(), id);
    if (!item) return ::GetLastError() ? ::GetLastError() : ERROR_CONTROL_ID_NOT_FOUND;
    SetOwner(dialog);
    AddFlags(WindowFlags::SystemClass | WindowFlags::Reflect);
    if (const DWORD error = Subclass(item)) return error;
    OnAttached();
    return 0;
}

DWORD CommonControl::Subclass(HWND hwnd) {
    Bind(hwnd);
    if (!::SetWindowSubclass(hwnd, &SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
        Unbind();
        return ::GetLastError() ? ::GetLastError() : ERROR_INVALID_WINDOW_HANDLE;
    }
    subclassed_ = true;
    return 0;
}

LRESULT CALLBACK CommonControl::SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                             UINT_PTR, DWORD_PTR data) {
    auto* control = reinterpret_cast<CommonControl*>(data);
    if (msg == WM_NCDESTROY) {
        ::RemoveWindowSubclass(hwnd, &SubclassProc, kSubclassId);
        control->subclassed_ = false;
        control->Unbind();
        return ::DefSubclassProc(hwnd, msg, wParam, lParam);
    }
    LRESULT result = SafeWindowProc(control, hwnd, msg, wParam, lParam);
    return result ? result : ::DefSubclassProc(hwnd, msg, wParam, lParam);
}

HBRUSH CommonControl::OnCtlColor(HDC) { return nullptr; }

void CommonControl::Enable(bool enabled) {
    if (Handle()) ::EnableWindow(Handle(), enabled ? TRUE : FALSE);
}

bool CommonControl::IsEnabled() const { return Handle() && ::IsWindowEnabled(Handle()); }

int CommonControl::Id() const { return Handle() ? ::GetDlgCtrlID(Handle()) : 0; }

}  // namespace CommonControls
