#include "ui/CommonControls/StatusBarExt.h"

#include "ui/ModuleInstance.h"

namespace CommonControls {

DWORD StatusBarExt::Attach(Window* host) {
    if (const DWORD error = bar_.Create(host, widths_)) return error;
    bar_.SetText(0, defaultText_);
    return 0;
}

void StatusBarExt::SetText(int part, const std::wstring& text) {
    bar_.SetText(part, text);
    ::RedrawWindow(bar_.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
}

void StatusBarExt::ShowMenuHelp(UINT id, UINT flags) {
    wchar_t text[256] = {};
    // A pop-up's "id" is its position, not a command: it has no help.
    const bool command = !(flags & MF_POPUP) && id != 0;
    if (!command || ::LoadStringW(ModuleInstance(), id, text, 256) <= 0) {
        SetText(0, defaultText_);
        return;
    }
    SetText(0, text);
}

LRESULT StatusBarExt::OnMessage(HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_MENUSELECT:
            if (!menuHelp_) return 0;
            ShowMenuHelp(LOWORD(wParam), HIWORD(wParam));
            return 1;
        case WM_SIZE:
            if (bar_.Handle()) ::SendMessageW(bar_.Handle(), WM_SIZE, wParam, lParam);
            return 0;
        default:
            return 0;
    }
}

void StatusBarExt::Layout(RECT* client) {
    if (bar_.Handle()) client->bottom -= bar_.Height();
}

}  // namespace CommonControls
