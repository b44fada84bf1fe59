#include "ui/Splitter.h"

#include <windowsx.h>

#include <algorithm>

#include "ui/Window.h"

DWORD Splitter::Attach(Window* host) {
    host_ = host;
    return 0;
}

void Splitter::SetLeft(int left) {
    bar_.left = left;
    bar_.right = left + kWidth - 1;
}

int Splitter::MaxLeft(HWND hwnd) const {
    RECT client;
    ::GetClientRect(hwnd, &client);
    return std::max(0, static_cast<int>(client.right - client.left) - 2);
}

bool Splitter::OnBar(POINT point) const {
    return point.x >= bar_.left && point.x <= bar_.right && point.y >= bar_.top &&
           point.y <= bar_.bottom;
}

LRESULT Splitter::OnMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_SIZE:
            if (wParam != SIZE_MINIMIZED) OnSize(hwnd, wParam, lParam);
            return 0;
        case WM_PAINT:
            Paint(hwnd);
            return 0;
        case WM_SETCURSOR: {
            POINT cursor;
            ::GetCursorPos(&cursor);
            ::ScreenToClient(hwnd, &cursor);
            if (!OnBar(cursor)) return 0;
            ::SetCursor(::LoadCursorW(nullptr, IDC_SIZEWE));
            return TRUE;
        }
        case WM_LBUTTONDOWN: {
            POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            if (!OnBar(point)) return 0;
            dragOffset_ = point.x - bar_.left;
            ::SetCapture(hwnd);
            return 0;
        }
        case WM_MOUSEMOVE: {
            if (!IsDragging()) return 0;
            SetLeft(std::clamp(GET_X_LPARAM(lParam) - dragOffset_, 0, MaxLeft(hwnd)));
            RECT client;
            ::GetClientRect(hwnd, &client);
            ::SendMessageW(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
            return 0;
        }
        case WM_LBUTTONUP:
            if (!IsDragging()) return 0;
            dragOffset_ = -1;
            ::ReleaseCapture();
            return 0;
        case WM_CAPTURECHANGED:
            // Another window took the mouse (a message box, Alt+Tab): the
            // drag is over where it stands.
            dragOffset_ = -1;
            return 0;
        default:
            return 0;
    }
}

void Splitter::OnSize(HWND hwnd, WPARAM type, LPARAM size) {
    RECT area{0, 0, LOWORD(size) - 1, HIWORD(size) - 1};
    if (host_ && (host_->Flags() & WindowFlags::ExtensionLayout)) {
        for (WindowExt* extension : host_->Extensions()) extension->Layout(&area);
    }
    bar_.top = area.top;
    bar_.bottom = area.bottom;
    // The same limit as a drag: two pixels short of the width.
    const int most = std::max(0, static_cast<int>(area.right - area.left + 1) - 2);
    if (bar_.left > most) SetLeft(most);
    RECT panes[2] = {{area.left, area.top, bar_.left - 1, area.bottom},
                     {bar_.right + 1, area.top, area.right, area.bottom}};
    ::SendMessageW(hwnd, message_, type, reinterpret_cast<LPARAM>(panes));
    RECT dirty{bar_.left, bar_.top, bar_.right + 1, bar_.bottom + 1};
    ::InvalidateRect(hwnd, &dirty, TRUE);
}

void Splitter::Paint(HWND hwnd) {
    // Painted inside the host's own BeginPaint, so the background erase that
    // BeginPaint does cannot wipe the bar out afterwards.
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(hwnd, &paint);
    if (!dc) return;
    RECT outer{bar_.left, bar_.top, bar_.right + 1, bar_.bottom + 1};
    ::FillRect(dc, &outer, ::GetSysColorBrush(COLOR_BTNFACE));
    RECT inner{outer.left + 1, outer.top + 1, outer.right - 1, outer.bottom - 1};
    ::FillRect(dc, &inner, ::GetSysColorBrush(COLOR_BTNSHADOW));
    ::EndPaint(hwnd, &paint);
}
