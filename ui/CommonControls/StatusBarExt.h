#pragma once

#include <string>
#include <vector>

#include "ui/CommonControls/StatusBar.h"
#include "ui/WindowExt.h"

namespace CommonControls {

// The status bar along the bottom of a window. With menu help on, the
// first part shows the help text of the highlighted menu item (the string
// whose number is the item's id) or, when there is none, the default text.
class StatusBarExt : public WindowExt {
  public:
    StatusBarExt(std::vector<int> widths, std::wstring defaultText, bool menuHelp)
        : widths_(std::move(widths)), defaultText_(std::move(defaultText)), menuHelp_(menuHelp) {}

    DWORD Attach(Window* host) override;
    LRESULT OnMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
    void Layout(RECT* client) override;

    StatusBar& Bar() { return bar_; }
    const std::wstring& DefaultText() const { return defaultText_; }
    void SetText(int part, const std::wstring& text);

  private:
    void ShowMenuHelp(UINT id, UINT flags);

    StatusBar bar_;
    std::vector<int> widths_;
    std::wstring defaultText_;
    bool menuHelp_;
};

}  // namespace CommonControls
