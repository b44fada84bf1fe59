#include "ui/Window.h"

#include <mutex>
#include <unordered_map>

#include "ui/ModuleInstance.h"
#include "ui/ShowError.h"

namespace {

// The windows the framework bound to an object. Only the framework adds to
// it, so a window found here is one of ours, and a window another program
// or a system control made (a dialog's label, a tooltip) is never taken for
// one, whatever its user data holds. It is kept in the process rather than
// in a window property: a property is a trip to the window system on Wine,
// and the lookup is made for every message.
std::mutex g_boundLock;
std::unordered_map<HWND, Window*>& Bound() {
    static std::unordered_map<HWND, Window*> bound;
    return bound;
}

}  // namespace

Window::~Window() {
    // The object goes before its window only when the program ends without
    // destroying it; its messages must not reach a dead object.
    HWND hwnd = hwnd_;
    Unbind();
    if (created_ && hwnd && ::IsWindow(hwnd)) ::DestroyWindow(hwnd);
}

Window* Window::FromHandle(HWND hwnd) {
    if (!hwnd) return nullptr;
    std::lock_guard hold(g_boundLock);
    auto found = Bound().find(hwnd);
    return found == Bound().end() ? nullptr : found->second;
}

void Window::Bind(HWND hwnd) {
    hwnd_ = hwnd;
    std::lock_guard hold(g_boundLock);
    Bound()[hwnd] = this;
}

void Window::Unbind() {
    if (hwnd_) {
        std::lock_guard hold(g_boundLock);
        auto found = Bound().find(hwnd_);
        if (found != Bound().end() && found->second == this) Bound().erase(found);
    }
    hwnd_ = nullptr;
}

DWORD Window::Create(Window* owner, const wchar_t* className, const wchar_t* title, DWORD style,
                     uint16_t flags, const ClassCustomiser& customise, DWORD exStyle,
                     UINT_PTR childId) {
    owner_ = owner;
    flags_ = flags;
    HINSTANCE instance = ModuleInstance();
    if (!(flags & WindowFlags::SystemClass)) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = &Window::StaticWindowProc;
        wc.hInstance = instance;
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = className;
        if (customise) customise(wc);
        // A class registered by an earlier window of the same kind is fine.
        if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            return ::GetLastError();
    }
    HWND parent = owner ? owner->Handle() : nullptr;
    HMENU menu = (style & WS_CHILD) ? reinterpret_cast<HMENU>(childId) : nullptr;
    HWND hwnd = ::CreateWindowExW(exStyle, className, title, style, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, parent, menu, instance, this);
    if (!hwnd) {
        const DWORD error = ::GetLastError();
        return error ? error : ERROR_CANNOT_MAKE;
    }
    created_ = true;
    // A system class never saw WM_NCCREATE through us.
    if (!hwnd_) hwnd_ = hwnd;
    for (WindowExt* extension : Extensions()) {
        if (const DWORD error = extension->Attach(this)) return error;
    }
    return 0;
}

LRESULT CALLBACK Window::StaticWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        if (auto* window = static_cast<Window*>(create->lpCreateParams)) window->Bind(hwnd);
    }
    Window* window = FromHandle(hwnd);
    // Messages before WM_NCCREATE (WM_GETMINMAXINFO) have no object yet.
    if (!window) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    LRESULT result = SafeWindowProc(window, hwnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        window->Unbind();
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    return result ? result : ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT Window::SafeWindowProc(Window* window, HWND hwnd, UINT msg, WPARAM wParam,
                               LPARAM lParam) {
    // An exception must not unwind through the system's message dispatch;
    // the message then counts as unhandled.
    try {
        return window->WindowProc(hwnd, msg, wParam, lParam);
    } catch (...) {
        return 0;
    }
}

bool Window::OnCommand(UINT) { return false; }
bool Window::OnControlCommand(HWND, UINT, UINT) { return false; }
LRESULT Window::OnReflectedCommand(UINT, UINT) { return 0; }
LRESULT Window::OnNotify(HWND, UINT, NMHDR*) { return 0; }
LRESULT Window::OnReflectedNotify(UINT, NMHDR*) { return 0; }
void Window::OnSize(UINT, RECT*) {}
void Window::OnPaint(HDC) {}
DWORD Window::OnCreate() { return 0; }
void Window::OnTimer(UINT_PTR) {}

LRESULT Window::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    for (WindowExt* extension : Extensions()) {
        if (LRESULT result = extension->OnMessage(hwnd, msg, wParam, lParam)) return result;
    }
    switch (msg) {
        case WM_CREATE:
            hwnd_ = hwnd;
            if (flags_ & WindowFlags::CallOnCreate) {
                if (const DWORD error = OnCreate()) {
                    ShowError(error);
                    return -1;
                }
            }
            return 0;
        case WM_SIZE:
            RouteSize(wParam, lParam);
            return 0;
        case WM_PAINT:
            if (flags_ & WindowFlags::Paint) RoutePaint(hwnd);
            return 0;
        case WM_DESTROY:
            if (flags_ & WindowFlags::QuitOnDestroy) ::PostQuitMessage(0);
            return 0;
        case WM_NOTIFY:
            return RouteNotify(reinterpret_cast<NMHDR*>(lParam));
        case WM_COMMAND:
            return RouteCommand(hwnd, wParam, lParam);
        case WM_TIMER:
            if (flags_ & WindowFlags::Timer) OnTimer(wParam);
            return 0;
        default:
            return 0;
    }
}

void Window::RouteSize(WPARAM wParam, LPARAM lParam) {
    RECT client{0, 0, LOWORD(lParam) - 1, HIWORD(lParam) - 1};
    if (flags_ & WindowFlags::ExtensionLayout) {
        for (WindowExt* extension : Extensions()) extension->Layout(&client);
    }
    OnSize(static_cast<UINT>(wParam), &client);
}

void Window::RoutePaint(HWND hwnd) {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(hwnd, &paint);
    if (!dc) return;
    OnPaint(dc);
    ::EndPaint(hwnd, &paint);
}

LRESULT Window::RouteNotify(NMHDR* header) {
    if (!header) return 0;
    Window* sender = FromHandle(header->hwndFrom);
    if (sender && (sender->Flags() & WindowFlags::Reflect)) {
        if (LRESULT result = sender->OnReflectedNotify(header->code, header)) return result;
    }
    return OnNotify(header->hwndFrom, header->code, header) ? 1 : 0;
}

LRESULT Window::RouteCommand(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    const UINT id = LOWORD(wParam);
    const UINT code = HIWORD(wParam);
    auto* control = reinterpret_cast<HWND>(lParam);
    if (!control) {
        if (OnCommand(id)) return 1;
        // A context menu's command reaches the main window this way.
        if (owner_ && owner_->Handle())
            return SafeWindowProc(owner_, owner_->Handle(), WM_COMMAND, wParam, lParam);
        return 0;
    }
    Window* sender = FromHandle(control);
    if (sender && (sender->Flags() & WindowFlags::Reflect)) {
        if (LRESULT result = sender->OnReflectedCommand(code, id)) return result;
    }
    if (flags_ & WindowFlags::CommandsAsNotify) {
        NMHDR header{hwnd, id, code};
        return OnNotify(hwnd, code, &header) ? 1 : 0;
    }
    return OnControlCommand(control, code, id) ? 1 : 0;
}
