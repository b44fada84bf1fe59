#include "ui/CommonControls/ComboBox.h"

#include <vector>

namespace CommonControls {

// Appended at the end whatever the control's style, so lists keep their order.
int ComboBox::AddString(const std::wstring& text) {
    return static_cast<int>(
        ::SendMessageW(Handle(), CB_INSERTSTRING, static_cast<WPARAM>(-1),
                       reinterpret_cast<LPARAM>(text.c_str())));
}

void ComboBox::Clear() { ::SendMessageW(Handle(), CB_RESETCONTENT, 0, 0); }

int ComboBox::Count() const { return static_cast<int>(::SendMessageW(Handle(), CB_GETCOUNT, 0, 0)); }

int ComboBox::Selection() const {
    return static_cast<int>(::SendMessageW(Handle(), CB_GETCURSEL, 0, 0));
}

void ComboBox::SetSelection(int index) { ::SendMessageW(Handle(), CB_SETCURSEL, index, 0); }

std::wstring ComboBox::Text(int index) const {
    const LRESULT length = ::SendMessageW(Handle(), CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR) return std::wstring();
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    ::SendMessageW(Handle(), CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(buffer.data()));
    return buffer.data();
}

}  // namespace CommonControls
