#pragma once

#include <string>

#include "ui/CommonControls/Edit.h"

namespace CommonControls {

// An edit that keeps its text: set before the dialog opens (shown when the
// control is attached), followed while the user types, read afterwards.
class EditString : public Edit {
  public:
    virtual std::wstring GetText() const { return text_; }
    virtual void SetText(const std::wstring& text);
    virtual void SetText(const wchar_t* text) { SetText(std::wstring(text ? text : L"")); }

    LRESULT OnReflectedCommand(UINT code, UINT id) override;

  protected:
    void OnAttached() override;
    // The user changed the text; text_ already holds it.
    virtual void OnTextChanged() {}

  private:
    std::wstring text_;
};

}  // namespace CommonControls
