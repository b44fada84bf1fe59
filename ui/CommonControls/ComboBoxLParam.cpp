#include "ui/CommonControls/ComboBoxLParam.h"

namespace CommonControls {

void ComboBoxLParam::AddEntry(const std::wstring& text, LPARAM value) {
    entries_.emplace_back(text, value);
    if (!Handle()) return;
    const int index = AddString(text);
    if (index >= 0) ::SendMessageW(Handle(), CB_SETITEMDATA, index, value);
}

void ComboBoxLParam::ClearEntries() {
    entries_.clear();
    if (Handle()) Clear();
}

void ComboBoxLParam::SelectValue(LPARAM value) {
    value_.reset();
    for (const auto& entry : entries_) {
        if (entry.second == value) value_ = value;
    }
    ShowSelection();
}

void ComboBoxLParam::ShowSelection() {
    if (!Handle()) return;
    int selected = -1;
    for (int i = 0, n = Count(); i < n && value_; ++i) {
        if (::SendMessageW(Handle(), CB_GETITEMDATA, i, 0) == *value_) selected = i;
    }
    SetSelection(selected);
}

void ComboBoxLParam::OnAttached() {
    Clear();
    for (const auto& [text, value] : entries_) {
        const int index = AddString(text);
        if (index >= 0) ::SendMessageW(Handle(), CB_SETITEMDATA, index, value);
    }
    ShowSelection();
}

LRESULT ComboBoxLParam::OnReflectedCommand(UINT code, UINT) {
    if (code == CBN_SELCHANGE) {
        const int index = Selection();
        if (index >= 0)
            value_ = ::SendMessageW(Handle(), CB_GETITEMDATA, index, 0);
        else
            value_.reset();
    }
    // The dialog hears of the change too.
    return 0;
}

}  // namespace CommonControls
