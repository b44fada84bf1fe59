#pragma once

#include "ui/CommonControls/Button.h"

namespace CommonControls {

// A radio button that keeps its state: set it before the dialog opens, read
// it while the dialog runs or after it has gone. A click on a partner
// unchecks this button without telling it, so the state is read from the
// control while there is one.
class RadioButton : public Button {
  public:
    bool Checked() const;
    void SetCheckedState(bool checked);

    LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override;

  protected:
    void OnAttached() override;

  private:
    bool checked_ = false;
};

}  // namespace CommonControls
