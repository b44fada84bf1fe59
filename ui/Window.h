#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

#include "ui/WindowExtHost.h"

// What the framework does for a window beyond passing its messages on. Fixed
// when the window is created.
namespace WindowFlags {
constexpr uint16_t SystemClass = 0x01;       // a system or already registered class
constexpr uint16_t Paint = 0x02;             // WM_PAINT calls OnPaint inside Begin/EndPaint
constexpr uint16_t Reflect = 0x04;           // handles its own WM_COMMAND/WM_NOTIFY first
constexpr uint16_t CommandsAsNotify = 0x08;  // child commands reach OnNotify
constexpr uint16_t ExtensionLayout = 0x10;   // extensions take their strips on WM_SIZE
constexpr uint16_t CallOnCreate = 0x20;      // WM_CREATE calls OnCreate
constexpr uint16_t Timer = 0x40;             // WM_TIMER calls OnTimer
constexpr uint16_t QuitOnDestroy = 0x80;     // WM_DESTROY posts the quit message
}  // namespace WindowFlags

// An object that owns one window handle and receives its messages through
// virtual operations. Objects are created before their windows and destroyed
// after them; a window object never deletes itself.
//
// The framework finds the object of a window only among the windows it bound
// itself, so a window it did not attach (a dialog's plain label, a tooltip,
// another program's window) is left to the default handling and never called
// through a foreign pointer.
class Window : public WindowExtHost {
  public:
    Window() = default;
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND Handle() const { return hwnd_; }
    Window* Owner() const { return owner_; }
    uint16_t Flags() const { return flags_; }

    // Lets the creator change the class before it is registered (an icon, a
    // background).
    using ClassCustomiser = std::function<void(WNDCLASSEXW&)>;

    // Registers the class (unless SystemClass), creates the window as a child
    // of owner's window when style has WS_CHILD, else owned by it, and
    // attaches every extension. 0, the first failing Attach's code, or the
    // system's error.
    DWORD Create(Window* owner, const wchar_t* className, const wchar_t* title, DWORD style,
                 uint16_t flags, const ClassCustomiser& customise = {}, DWORD exStyle = 0,
                 UINT_PTR childId = 0);

    // The object the framework attached to a window, or nullptr.
    static Window* FromHandle(HWND hwnd);

    // ---- Virtual operations; the defaults do nothing and return 0.
    // A menu or accelerator command; true when handled. An unhandled command
    // goes on to the owner.
    virtual bool OnCommand(UINT id);
    // A command from a child control; true when handled.
    virtual bool OnControlCommand(HWND control, UINT code, UINT id);
    // This control's own command, before its parent sees it.
    virtual LRESULT OnReflectedCommand(UINT code, UINT id);
    virtual LRESULT OnNotify(HWND from, UINT code, NMHDR* header);
    // This control's own notification, before its parent sees it.
    virtual LRESULT OnReflectedNotify(UINT code, NMHDR* header);
    // The client rectangle (inclusive) left after the extensions' strips.
    virtual void OnSize(UINT type, RECT* client);
    virtual void OnPaint(HDC dc);
    virtual DWORD OnCreate();
    virtual void OnTimer(UINT_PTR id);
    // Every message; a zero result goes on to the default handling.
    virtual LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  protected:
    // Binds this object to a window the framework did not create itself (a
    // dialog, a dialog item); unbound again when the window is destroyed.
    void Bind(HWND hwnd);
    void Unbind();
    void SetOwner(Window* owner) { owner_ = owner; }
    void AddFlags(uint16_t flags) { flags_ |= flags; }

    // The window procedure every framework class is registered with.
    static LRESULT CALLBACK StaticWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    // Runs WindowProc with nothing escaping into the system's dispatch.
    static LRESULT SafeWindowProc(Window* window, HWND hwnd, UINT msg, WPARAM wParam,
                                  LPARAM lParam);

  private:
    LRESULT RouteNotify(NMHDR* header);
    LRESULT RouteCommand(HWND hwnd, WPARAM wParam, LPARAM lParam);
    void RouteSize(WPARAM wParam, LPARAM lParam);
    void RoutePaint(HWND hwnd);

    HWND hwnd_ = nullptr;
    Window* owner_ = nullptr;
    uint16_t flags_ = 0;
    // Only a window this object created is destroyed with it.
    bool created_ = false;
};
