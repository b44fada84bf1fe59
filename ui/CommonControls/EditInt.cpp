#include "ui/CommonControls/EditInt.h"

#include <cwchar>

#include "common/IntText.h"

namespace CommonControls {

namespace {

// Every integer edit holds at most 11 characters: a sign and ten digits.
constexpr int kMaxCharacters = 11;

}  // namespace

EditInt::EditInt(int64_t minimum, int64_t maximum, bool hex)
    : EditValidator([minimum, maximum, hex](const std::wstring& text) {
          return Parse(text, minimum, maximum, hex).has_value();
      }),
      minimum_(minimum),
      maximum_(maximum),
      hex_(hex) {}

std::optional<int64_t> EditInt::Parse(const std::wstring& text, int64_t minimum, int64_t maximum,
                                      bool hex) {
    return ParseIntText(text, minimum, maximum, hex);
}

void EditInt::SetRange(int64_t minimum, int64_t maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
    SetPredicate([minimum, maximum, hex = hex_](const std::wstring& text) {
        return Parse(text, minimum, maximum, hex).has_value();
    });
}

void EditInt::SetValue(int64_t value) {
    wchar_t buffer[32];
    std::swprintf(buffer, 32, hex_ ? L"%llx" : L"%lld", static_cast<long long>(value));
    SetText(buffer);
}

void EditInt::OnAttached() {
    SetLimit(kMaxCharacters);
    EditValidator::OnAttached();
}

}  // namespace CommonControls
