#include "ui/LinkControl.h"

#include <shellapi.h>
#include <windowsx.h>

#include <vector>

#include "ui/ModuleInstance.h"
#include "ui/ShowError.h"

namespace {

// A link in a dialog template names its class, which must exist before the
// template runs; only the framework's own link objects are ever bound to it.
LRESULT CALLBACK LinkWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

LinkControl* LinkOf(HWND hwnd) { return dynamic_cast<LinkControl*>(Window::FromHandle(hwnd)); }

// Registered before the entry point runs; a failure is shown and the
// program goes on without links.
const bool g_registered = [] {
    if (const DWORD error = LinkControl::RegisterClass()) ShowError(error);
    return true;
}();

}  // namespace

DWORD LinkControl::Attach(Window* dialog, int id) {
    HWND item = ::GetDlgItem(dialog->Handle(), id);
    if (!item) return ::GetLastError() ? ::GetLastError() : ERROR_CONTROL_ID_NOT_FOUND;
    SetOwner(dialog);
    AddFlags(WindowFlags::SystemClass | WindowFlags::Paint);
    Bind(item);
    ::InvalidateRect(item, nullptr, TRUE);
    return 0;
}

LinkControl::~LinkControl() {
    if (font_) ::DeleteObject(font_);
}

DWORD LinkControl::RegisterClass() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &LinkWindowProc;
    wc.hInstance = ModuleInstance();
    wc.hCursor = ::LoadCursorW(nullptr, IDC_HAND);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return ::GetLastError();
    return 0;
}

std::wstring LinkControl::Address() const {
    if (!Handle()) return std::wstring();
    const int length = ::GetWindowTextLengthW(Handle());
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
    ::GetWindowTextW(Handle(), text.data(), length + 1);
    return text.data();
}

HFONT LinkControl::Font() {
    if (font_) return font_;
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        metrics.lfMessageFont.lfUnderline = TRUE;
        font_ = ::CreateFontIndirectW(&metrics.lfMessageFont);
    }
    return font_;
}

void LinkControl::OnPaint(HDC dc) {
    RECT client;
    ::GetClientRect(Handle(), &client);
    HGDIOBJ old = ::SelectObject(dc, Font());
    ::SetTextColor(dc, kLinkColour);
    ::SetBkMode(dc, TRANSPARENT);
    const std::wstring text = Address();
    ::DrawTextW(dc, text.c_str(), -1, &client, DT_SINGLELINE);
    if (hot_) ::DrawFocusRect(dc, &client);
    ::SelectObject(dc, old);
}

void LinkControl::Track(HWND hwnd, LPARAM lParam) {
    RECT client;
    ::GetClientRect(hwnd, &client);
    const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    const bool inside = ::PtInRect(&client, point);
    if (inside && !hot_) {
        hot_ = true;
        ::SetCapture(hwnd);
        ::InvalidateRect(hwnd, nullptr, TRUE);
    } else if (!inside && hot_) {
        hot_ = false;
        ::ReleaseCapture();
        ::InvalidateRect(hwnd, nullptr, TRUE);
    }
}

void LinkControl::Open(HWND hwnd) {
    const std::wstring address = Address();
    ::ShellExecuteW(hwnd, L"open", address.c_str(), nullptr, nullptr, SW_SHOW);
}

LRESULT LinkControl::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_MOUSEMOVE:
            Track(hwnd, lParam);
            return 0;
        case WM_CAPTURECHANGED:
            if (hot_ && reinterpret_cast<HWND>(lParam) != hwnd) {
                hot_ = false;
                ::InvalidateRect(hwnd, nullptr, TRUE);
            }
            return 0;
        case WM_LBUTTONDOWN:
            Open(hwnd);
            return 0;
        default:
            return Window::WindowProc(hwnd, msg, wParam, lParam);
    }
}

namespace {

LRESULT CALLBACK LinkWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    LinkControl* link = LinkOf(hwnd);
    if (!link) {
        // A link made by a dialog template has no object; it still shows its
        // address and opens it.
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    LRESULT result = link->WindowProc(hwnd, msg, wParam, lParam);
    return result ? result : ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace
