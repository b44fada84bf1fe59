#pragma once

#include <string>
#include <vector>

#include "ui/CommonControls/CommonControl.h"

namespace CommonControls {

// A status bar of parts: every part but the first has a fixed width in
// pixels and the first takes what is left. The parts are laid out again on
// every resize.
class StatusBar : public CommonControl {
  public:
    // widths: the fixed parts after part 0, left to right.
    DWORD Create(Window* parent, std::vector<int> widths);

    void SetText(int part, const std::wstring& text);
    std::wstring Text(int part) const;
    int Height() const;
    // The right edges sent to the control (the last is -1).
    std::vector<int> PartEdges() const;

    LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;

  private:
    void SetParts();

    std::vector<int> widths_;
};

}  // namespace CommonControls
