#include "ui/CommonControls/RadioButton.h"

namespace CommonControls {

bool RadioButton::Checked() const { return Handle() ? IsChecked() : checked_; }

void RadioButton::SetCheckedState(bool checked) {
    checked_ = checked;
    if (Handle()) SetChecked(checked);
}

void RadioButton::OnAttached() { SetChecked(checked_); }

LRESULT RadioButton::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_DESTROY) checked_ = IsChecked();
    return Button::WindowProc(hwnd, msg, wParam, lParam);
}

}  // namespace CommonControls
