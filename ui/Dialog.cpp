#include "ui/Dialog.h"

#include "ui/CommonControls/CommonControl.h"
#include "ui/ModuleInstance.h"
#include "ui/ShowError.h"

Dialog::~Dialog() {
    // A modeless dialog still open when its object goes is closed with it.
    if (!modal_ && Handle() && ::IsWindow(Handle())) ::DestroyWindow(Handle());
}

void Dialog::PrepareRun(Window* owner, bool modal) {
    SetOwner(owner);
    modal_ = modal;
}

INT_PTR Dialog::Run(Window* owner, UINT templateId) {
    PrepareRun(owner, true);
    HWND ownerHandle = owner ? owner->Handle() : nullptr;
    return ::DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(templateId), ownerHandle,
                             &Dialog::StaticDialogProc, reinterpret_cast<LPARAM>(this));
}

DWORD Dialog::CreateModeless(Window* owner, UINT templateId) {
    PrepareRun(owner, false);
    HWND ownerHandle = owner ? owner->Handle() : nullptr;
    HWND hwnd = ::CreateDialogParamW(ModuleInstance(), MAKEINTRESOURCEW(templateId), ownerHandle,
                                     &Dialog::StaticDialogProc, reinterpret_cast<LPARAM>(this));
    if (!hwnd) return ::GetLastError() ? ::GetLastError() : ERROR_CANNOT_MAKE;
    ::ShowWindow(hwnd, SW_SHOW);
    return 0;
}

INT_PTR CALLBACK Dialog::StaticDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) reinterpret_cast<Dialog*>(lParam)->Bind(hwnd);
    auto* dialog = dynamic_cast<Dialog*>(FromHandle(hwnd));
    if (!dialog) return FALSE;
    INT_PTR result = FALSE;
    try {
        result = dialog->DialogProc(hwnd, msg, wParam, lParam);
    } catch (...) {
        result = FALSE;
    }
    if (msg == WM_NCDESTROY) dialog->Unbind();
    // A notification's answer goes through the dialog's message result.
    if (msg == WM_NOTIFY && result) {
        ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
        return TRUE;
    }
    return result;
}

void Dialog::CentreOverOwner(HWND hwnd) {
    RECT around{};
    HWND owner = ::GetWindow(hwnd, GW_OWNER);
    if (!owner || !::GetWindowRect(owner, &around)) ::GetWindowRect(::GetDesktopWindow(), &around);
    RECT self{};
    ::GetWindowRect(hwnd, &self);
    const int left = around.left + ((around.right - around.left) - (self.right - self.left)) / 2;
    const int top = around.top + ((around.bottom - around.top) - (self.bottom - self.top)) / 2;
    ::SetWindowPos(hwnd, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Dialog::End(INT_PTR result) {
    if (modal_)
        ::EndDialog(Handle(), result);
    else
        ::DestroyWindow(Handle());
}

void Dialog::Close() {
    OnCancel();
    End(kCancel);
}

void Dialog::EnableOk(bool enabled) {
    if (HWND ok = ::GetDlgItem(Handle(), IDOK)) ::EnableWindow(ok, enabled ? TRUE : FALSE);
}

bool Dialog::IsOkEnabled() const {
    HWND ok = ::GetDlgItem(Handle(), IDOK);
    return ok && ::IsWindowEnabled(ok);
}

LRESULT Dialog::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DialogProc(hwnd, msg, wParam, lParam);
}

INT_PTR Dialog::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    for (WindowExt* extension : Extensions()) {
        if (LRESULT result = extension->OnMessage(hwnd, msg, wParam, lParam)) return result;
    }
    switch (msg) {
        case WM_INITDIALOG:
            CentreOverOwner(hwnd);
            if (const DWORD error = OnInitDialog()) ShowError(error);
            return TRUE;
        case WM_COMMAND:
            if (lParam == 0 || LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                if (LOWORD(wParam) == IDOK) {
                    // Enter presses OK even while the rules keep it disabled;
                    // invalid input must not get through that way.
                    if (!IsOkEnabled() && ::GetDlgItem(hwnd, IDOK)) return TRUE;
                    OnOK();
                    End(kOk);
                    return TRUE;
                }
                if (LOWORD(wParam) == IDCANCEL) {
                    OnCancel();
                    End(kCancel);
                    return TRUE;
                }
            }
            break;
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC: {
            // Only controls this dialog attached answer; a plain label or a
            // control of another kind keeps the default colours.
            auto* control =
                dynamic_cast<CommonControls::CommonControl*>(FromHandle(reinterpret_cast<HWND>(lParam)));
            if (!control) return FALSE;
            return reinterpret_cast<INT_PTR>(control->OnCtlColor(reinterpret_cast<HDC>(wParam)));
        }
        default:
            break;
    }
    return Window::WindowProc(hwnd, msg, wParam, lParam);
}
