#include "common/IntText.h"

namespace {

int DigitValue(wchar_t c, bool hex) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (!hex) return -1;
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

}  // namespace

std::optional<int64_t> ParseIntText(const std::wstring& text, int64_t minimum, int64_t maximum,
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
        // Far beyond any range a field asks for: stop before overflowing.
        if (value > (INT64_MAX - digit) / base) return std::nullopt;
        value = value * base + digit;
    }
    if (negative) value = -value;
    if (value < minimum || value > maximum) return std::nullopt;
    return value;
}
