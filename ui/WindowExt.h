#pragma once

#include <windows.h>

class Window;

// A part of a window that sees every message before the window does and may
// take a strip of its client area: the menu bar, a context menu, the tool
// bar, the status bar, the splitter. Extensions are members of the window
// class that declares them; the window only lists them.
class WindowExt {
  public:
    // Called once the host's handle exists; 0 or a Win32 error code.
    virtual DWORD Attach(Window* host) = 0;
    // Non-zero means the message is consumed and the value is its result.
    virtual LRESULT OnMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) = 0;
    // Shrinks the client rectangle by the part this extension occupies.
    virtual void Layout(RECT* client) { (void)client; }

  protected:
    WindowExt() = default;
    ~WindowExt() = default;
    WindowExt(const WindowExt&) = delete;
    WindowExt& operator=(const WindowExt&) = delete;
};
