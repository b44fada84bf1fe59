#include "ui/CommonControls/EditString.h"

namespace CommonControls {

void EditString::SetText(const std::wstring& text) {
    text_ = text;
    if (Handle()) ::SetWindowTextW(Handle(), text_.c_str());
}

void EditString::OnAttached() { ::SetWindowTextW(Handle(), text_.c_str()); }

LRESULT EditString::OnReflectedCommand(UINT code, UINT) {
    if (code == EN_CHANGE) {
        text_ = WindowText();
        OnTextChanged();
    }
    // The dialog hears of the change too.
    return 0;
}

}  // namespace CommonControls
