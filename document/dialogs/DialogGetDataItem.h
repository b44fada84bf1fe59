#pragma once

#include <string>

#include "protocol/DataItem.h"
#include "ui/CommonControls/EditDataItem.h"
#include "ui/DialogTemplate.h"

// "Enter Value": one value for an address of the data map, checked as it is
// typed against the type it will be stored as. Built in memory.
class DialogGetDataItem : public DialogTemplate {
  public:
    static constexpr int kEditId = 1000;
    // The longest text the dialog reads back.
    static constexpr int kMaxCharacters = 256;

    // prompt: the line above the edit ("Address 7:"); text: the initial value.
    DialogGetDataItem(DataItem::Type type, std::wstring prompt, std::wstring text);

    // Builds the template and runs it; as Dialog::Run.
    INT_PTR Show(Window* owner);
    // Builds the template only; false when the message font is not known.
    bool Build();

    const std::wstring& Text() const { return text_; }

  protected:
    DWORD OnInitDialog() override;
    bool OnControlCommand(HWND control, UINT code, UINT id) override;
    void OnOK() override;

  private:
    std::wstring prompt_;
    std::wstring text_;
    CommonControls::EditDataItem edit_;
};
