#pragma once

#include <windows.h>
// commctrl.h needs the types of windows.h.
#include <commctrl.h>

#include <string>
#include <vector>

#include "ui/CommonControls/ToolBar.h"
#include "ui/WindowExt.h"

namespace CommonControls {

// The tool bar along the top of a window: buttons with an icon (from the
// program's icon resources, at the small-icon size) and a text, added before
// the window is created.
class ToolBarExt : public WindowExt, public ToolBar {
  public:
    ToolBarExt() = default;
    ~ToolBarExt() override;

    void AddButton(UINT command, const std::wstring& text, UINT iconId);

    DWORD Attach(Window* host) override;
    LRESULT OnMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
    void Layout(RECT* client) override;

  private:
    struct Button {
        UINT command;
        std::wstring text;
        UINT icon;
    };
    std::vector<Button> buttons_;
    HIMAGELIST images_ = nullptr;
};

}  // namespace CommonControls
