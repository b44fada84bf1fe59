#include "ui/PopupMenuExt.h"

#include <windowsx.h>

#include "ui/Window.h"

DWORD PopupMenuExt::Attach(Window* host) {
    (void)host;
    return Load();
}

HMENU PopupMenuExt::Popup() const { return Handle() ? ::GetSubMenu(Handle(), 0) : nullptr; }

LRESULT PopupMenuExt::OnMessage(HWND hwnd, UINT msg, WPARAM, LPARAM lParam) {
    if (msg != WM_CONTEXTMENU) return 0;
    if (!enabled_) return 1;
    POINT screen{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    // The menu key and Shift+F10 give no point: open the menu at the
    // window's top left corner.
    if (screen.x == -1 && screen.y == -1) {
        screen = POINT{0, 0};
        ::ClientToScreen(hwnd, &screen);
    }
    click_ = screen;
    ::ScreenToClient(hwnd, &click_);
    ::SetForegroundWindow(hwnd);
    HWND target = target_ && target_->Handle() ? target_->Handle() : hwnd;
    if (HMENU popup = Popup()) ::TrackPopupMenu(popup, 0, screen.x, screen.y, 0, target, nullptr);
    return 1;
}
