#include "ui/CommonControls/EditInt.h"

#include <cwchar>

namespace CommonControls {

namespace {

int DigitValue(wchar_t c, bool hex) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (!hex) return -1;
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

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
    size_t at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) {
        negative = text[at] == L'-';
        ++at;
    }
    if (at == text.size()) return std::nullopt;
    const int base = hex ? 16 : 10;
    int64_t value = 0;
    for (; at < text.size(); ++at) {
        const int digit = DigitValue(text[at], hex);
        if (digit < 0) return std::nullopt;
        // Far outside any range a dialog asks for; stop before overflowing.
        if (value > (INT64_MAX - digit) / base) return std::nullopt;
        value = value * base + digit;
    }
    if (negative) value = -value;
    if (value < minimum || value > maximum) return std::nullopt;
    return value;
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
