#pragma once

#include "document/PollForm.h"
#include "ui/CommonControls/ComboBoxLParam.h"
#include "ui/CommonControls/EditInt.h"
#include "ui/Dialog.h"

// "Modbus Poll": the function, start address, quantity and number format of
// one poll. The formats follow the function, the quantity's limit follows
// both, and OK is enabled only for a poll the wire can carry.
class DialogPoll : public Dialog {
  public:
    explicit DialogPoll(PollForm form);

    const PollForm& Form() const { return form_; }

  protected:
    DWORD OnInitDialog() override;
    bool OnControlCommand(HWND control, UINT code, UINT id) override;

  private:
    void ShowFormats();
    void Refresh();

    PollForm form_;
    CommonControls::ComboBoxLParam function_;
    CommonControls::EditInt start_;
    CommonControls::EditInt quantity_;
    CommonControls::ComboBoxLParam format_;
};
