#pragma once

#include "ui/CommonControls/CommonControl.h"

namespace CommonControls {

// A push button, check box or radio button.
class Button : public CommonControl {
  public:
    bool IsChecked() const;
    void SetChecked(bool checked);
    // Presses the button as a click would.
    void Click();
};

}  // namespace CommonControls
