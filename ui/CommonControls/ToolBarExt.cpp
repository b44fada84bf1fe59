#include "ui/CommonControls/ToolBarExt.h"

#include "ui/ModuleInstance.h"

namespace CommonControls {

ToolBarExt::~ToolBarExt() {
    if (images_) ::ImageList_Destroy(images_);
}

void ToolBarExt::AddButton(UINT command, const std::wstring& text, UINT iconId) {
    buttons_.push_back(Button{command, text, iconId});
}

DWORD ToolBarExt::Attach(Window* host) {
    const int cx = ::GetSystemMetrics(SM_CXSMICON);
    const int cy = ::GetSystemMetrics(SM_CYSMICON);
    images_ = ::ImageList_Create(cx, cy, ILC_COLOR32 | ILC_MASK, 2, 2);
    if (!images_) return ERROR_NOT_ENOUGH_MEMORY;
    if (const DWORD error = CreateControl(host, TOOLBARCLASSNAMEW,
                                          WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS, 0))
        return error;
    std::vector<TBBUTTON> added;
    for (const Button& wanted : buttons_) {
        // The small image of the icon resource itself, not the large one
        // scaled down.
        auto icon = static_cast<HICON>(::LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(wanted.icon),
                                                    IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR));
        int image = I_IMAGENONE;
        if (icon) {
            image = ::ImageList_ReplaceIcon(images_, -1, icon);
            ::DestroyIcon(icon);
        }
        TBBUTTON button{};
        button.iBitmap = image;
        button.idCommand = static_cast<int>(wanted.command);
        button.fsState = TBSTATE_ENABLED;
        button.fsStyle = BTNS_BUTTON;
        button.iString = reinterpret_cast<INT_PTR>(wanted.text.c_str());
        added.push_back(button);
    }
    ::SendMessageW(Handle(), TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images_));
    ::SendMessageW(Handle(), TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    ::SendMessageW(Handle(), TB_ADDBUTTONSW, added.size(), reinterpret_cast<LPARAM>(added.data()));
    ::SendMessageW(Handle(), TB_AUTOSIZE, 0, 0);
    ::ShowWindow(Handle(), SW_SHOW);
    return 0;
}

LRESULT ToolBarExt::OnMessage(HWND, UINT msg, WPARAM, LPARAM) {
    if (msg == WM_SIZE && Handle()) ::SendMessageW(Handle(), TB_AUTOSIZE, 0, 0);
    return 0;
}

void ToolBarExt::Layout(RECT* client) {
    if (Handle()) client->top += ToolBarHeight();
}

}  // namespace CommonControls
