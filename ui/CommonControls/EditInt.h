#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ui/CommonControls/EditValidator.h"

namespace CommonControls {

// An edit for a whole number between a minimum and a maximum, decimal or
// hexadecimal (without prefix). The text must be one optional sign and one
// or more digits, nothing before or after.
class EditInt : public EditValidator {
  public:
    EditInt(int64_t minimum, int64_t maximum, bool hex = false);

    // The number the text denotes when it is well formed and in range.
    static std::optional<int64_t> Parse(const std::wstring& text, int64_t minimum,
                                        int64_t maximum, bool hex);
    std::optional<int64_t> Value() const { return Parse(GetText(), minimum_, maximum_, hex_); }
    // The value the dialog reads back: 0 when the text is not a number in
    // range.
    int64_t ValueOrZero() const { return Value().value_or(0); }
    void SetValue(int64_t value);

    // A new range for the same text (a quantity whose limit depends on other
    // fields).
    void SetRange(int64_t minimum, int64_t maximum);
    int64_t Minimum() const { return minimum_; }
    int64_t Maximum() const { return maximum_; }

  protected:
    void OnAttached() override;

  private:
    int64_t minimum_;
    int64_t maximum_;
    bool hex_;
};

}  // namespace CommonControls
