#pragma once

#include "ui/Menu.h"
#include "ui/WindowExt.h"

// A window's menu bar, loaded from a menu resource and destroyed with the
// extension.
class MenuExt : public WindowExt, public Menu {
  public:
    explicit MenuExt(UINT resourceId) : resourceId_(resourceId) {}

    DWORD Attach(Window* host) override;
    LRESULT OnMessage(HWND, UINT, WPARAM, LPARAM) override { return 0; }

  protected:
    // Loads the resource into this Menu; 0 or the system's error.
    DWORD Load();
    Window* Host() const { return host_; }

  private:
    UINT resourceId_;
    Window* host_ = nullptr;
};
