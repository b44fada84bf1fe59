#pragma once

#include "ui/MenuExt.h"

// A context menu: sub-menu 0 of a menu resource, shown where the user
// right-clicked the host (or pressed the menu key). Its commands go to the
// command target when one is set, else to the host, whose owner chain takes
// what the host does not handle.
class PopupMenuExt : public MenuExt {
  public:
    explicit PopupMenuExt(UINT resourceId) : MenuExt(resourceId) {}

    DWORD Attach(Window* host) override;
    LRESULT OnMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;

    // A disabled context menu swallows the right-click and shows nothing.
    void SetEnabled(bool enabled) { enabled_ = enabled; }
    bool IsMenuEnabled() const { return enabled_; }
    void SetCommandTarget(Window* target) { target_ = target; }
    // Where the last right-click was, in the host's client coordinates.
    POINT ClickPoint() const { return click_; }
    // The sub-menu that is shown, for enabling its items.
    HMENU Popup() const;

  private:
    bool enabled_ = true;
    Window* target_ = nullptr;
    POINT click_{-1, -1};
};
