#pragma once

#include <functional>
#include <string>

#include "ui/CommonControls/EditString.h"

namespace CommonControls {

// An edit that checks its text while it is typed and shows invalid text on
// a light red background. Dialogs read Valid() to enable their OK button.
class EditValidator : public EditString {
  public:
    using Predicate = std::function<bool(const std::wstring&)>;
    // The background of an enabled edit whose text is invalid.
    static constexpr COLORREF kInvalidColour = 0x7F7FFF;

    explicit EditValidator(Predicate predicate);

    bool Valid() const { return valid_; }
    // Replaces the rule and checks the text against it at once.
    void SetPredicate(Predicate predicate);
    bool Accepts(const std::wstring& text) const { return predicate_(text); }
    void SetText(const std::wstring& text) override;
    using EditString::SetText;

    HBRUSH OnCtlColor(HDC dc) override;

  protected:
    void OnTextChanged() override;

  private:
    Predicate predicate_;
    bool valid_;
};

}  // namespace CommonControls
