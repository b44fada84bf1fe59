#pragma once

#include <windows.h>

// A menu handle, destroyed with the object when the object owns it.
class Menu {
  public:
    Menu() = default;
    ~Menu();
    Menu(const Menu&) = delete;
    Menu& operator=(const Menu&) = delete;

    HMENU Handle() const { return menu_; }
    // Takes a menu; the previous one is destroyed when it was owned.
    void Reset(HMENU menu, bool owned);

    // Item states by command id; false when no item has the id.
    bool Enable(UINT id, bool enabled);
    bool Check(UINT id, bool checked);
    bool IsEnabled(UINT id) const;
    bool IsChecked(UINT id) const;

  private:
    HMENU menu_ = nullptr;
    bool owned_ = false;
};
