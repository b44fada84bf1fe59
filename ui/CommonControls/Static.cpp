#include "ui/CommonControls/Static.h"

namespace CommonControls {

DWORD Static::Create(Window* parent, DWORD style, const std::wstring& text) {
    const DWORD error = CreateControl(parent, L"Static", WS_VISIBLE | style, 0);
    if (!error) SetText(text);
    return error;
}

void Static::SetText(const std::wstring& text) { ::SetWindowTextW(Handle(), text.c_str()); }

}  // namespace CommonControls
