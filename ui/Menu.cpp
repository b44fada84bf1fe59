#include "ui/Menu.h"

Menu::~Menu() { Reset(nullptr, false); }

void Menu::Reset(HMENU menu, bool owned) {
    if (menu_ && owned_ && menu_ != menu) ::DestroyMenu(menu_);
    menu_ = menu;
    owned_ = owned;
}

bool Menu::Enable(UINT id, bool enabled) {
    return menu_ &&
           ::EnableMenuItem(menu_, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED)) != -1;
}

bool Menu::Check(UINT id, bool checked) {
    return menu_ &&
           ::CheckMenuItem(menu_, id, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED)) !=
               static_cast<DWORD>(-1);
}

bool Menu::IsEnabled(UINT id) const {
    if (!menu_) return false;
    const UINT state = ::GetMenuState(menu_, id, MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && !(state & (MF_GRAYED | MF_DISABLED));
}

bool Menu::IsChecked(UINT id) const {
    if (!menu_) return false;
    const UINT state = ::GetMenuState(menu_, id, MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & MF_CHECKED);
}
