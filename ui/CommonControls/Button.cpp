#include "ui/CommonControls/Button.h"

namespace CommonControls {

bool Button::IsChecked() const {
    return ::SendMessageW(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Button::SetChecked(bool checked) {
    ::SendMessageW(Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Button::Click() { ::SendMessageW(Handle(), BM_CLICK, 0, 0); }

}  // namespace CommonControls
