#include "ui/CommonControls/ToolBar.h"

#include <commctrl.h>

namespace CommonControls {

bool ToolBar::IsButtonEnabled(UINT command) const {
    return ::SendMessageW(Handle(), TB_ISBUTTONENABLED, command, 0) != 0;
}

bool ToolBar::IsButtonChecked(UINT command) const {
    return ::SendMessageW(Handle(), TB_ISBUTTONCHECKED, command, 0) != 0;
}

void ToolBar::EnableButton(UINT command, bool enabled) {
    ::SendMessageW(Handle(), TB_ENABLEBUTTON, command, MAKELPARAM(enabled ? TRUE : FALSE, 0));
}

void ToolBar::CheckButton(UINT command, bool checked) {
    ::SendMessageW(Handle(), TB_CHECKBUTTON, command, MAKELPARAM(checked ? TRUE : FALSE, 0));
}

int ToolBar::ToolBarHeight() const {
    RECT rect{};
    ::GetWindowRect(Handle(), &rect);
    return rect.bottom - rect.top;
}

int ToolBar::ButtonCount() const {
    return static_cast<int>(::SendMessageW(Handle(), TB_BUTTONCOUNT, 0, 0));
}

}  // namespace CommonControls
