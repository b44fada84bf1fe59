#pragma once

#include "document/AddressRangeForm.h"
#include "ui/CommonControls/ComboBoxLParam.h"
#include "ui/CommonControls/EditInt.h"
#include "ui/Dialog.h"

// "Add Addresses": a range of addresses, a step and the type of the new
// entries. OK is enabled for a range whose first address is not above its
// last and a step of 1 to 8.
class DialogAddAddresses : public Dialog {
  public:
    explicit DialogAddAddresses(AddressRangeForm form);

    const AddressRangeForm& Form() const { return form_; }

  protected:
    DWORD OnInitDialog() override;
    bool OnControlCommand(HWND control, UINT code, UINT id) override;

  private:
    void Refresh();

    AddressRangeForm form_;
    CommonControls::EditInt first_;
    CommonControls::EditInt last_;
    CommonControls::EditInt step_;
    CommonControls::ComboBoxLParam type_;
};
