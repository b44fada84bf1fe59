#pragma once

#include <windows.h>

#include "ui/Window.h"

namespace CommonControls {

// A system control (list view, edit, combo box…) with an object: the
// control is subclassed so that its own messages reach WindowProc, and it
// handles the commands and notifications it sends its parent first
// (WindowFlags::Reflect).
class CommonControl : public Window {
  public:
    ~CommonControl() override;

    // Creates the control as a child of parent. 0 or a Win32 error code.
    DWORD CreateControl(Window* parent, const wchar_t* className, DWORD style, uint16_t flags,
                        DWORD exStyle = 0, UINT_PTR id = 0);
    // Takes over a dialog's item; the dialog's object becomes the owner.
    virtual DWORD Attach(Window* dialog, int id);

    // The colours of this control while its parent paints it: a brush, or 0
    // for the defaults.
    virtual HBRUSH OnCtlColor(HDC dc);

    void Enable(bool enabled);
    bool IsEnabled() const;
    int Id() const;

  protected:
    // Called once the control is subclassed (created or attached).
    virtual void OnAttached() {}

  private:
    DWORD Subclass(HWND hwnd);
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR data);
    bool subclassed_ = false;
};

}  // namespace CommonControls
