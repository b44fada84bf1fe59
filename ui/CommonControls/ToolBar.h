#pragma once

#include "ui/CommonControls/CommonControl.h"

namespace CommonControls {

// A tool bar of buttons that send their command to the parent.
class ToolBar : public CommonControl {
  public:
    bool IsButtonEnabled(UINT command) const;
    bool IsButtonChecked(UINT command) const;
    void EnableButton(UINT command, bool enabled);
    void CheckButton(UINT command, bool checked);
    int ToolBarHeight() const;
    int ButtonCount() const;
};

}  // namespace CommonControls
