#include "json/jsonDouble.h"

#include <charconv>
#include <cmath>

#include "json/QuotedText.h"

namespace json {

// Six significant digits in the general (%g) form, as a default-formatted stream
// writes them: 0.5, 3, 1.23457e+06. Formatted here so that neither the caller's
// stream settings nor the C runtime (whose exponent has three digits on some
// Windows runtimes) can change the text.
void jsonDouble::WriteAs(std::wostream& out, Syntax syntax) const {
    // Standard JSON has no infinity or NaN; other programs get null instead.
    if (syntax == Syntax::Rfc8259 && !std::isfinite(value_)) {
        WriteRaw(out, L"null");
        return;
    }
    char digits[32];
    auto result =
        std::to_chars(digits, digits + sizeof digits, value_, std::chars_format::general, 6);
    for (const char* c = digits; c != result.ptr; ++c) out.put(static_cast<wchar_t>(*c));
}

}  // namespace json
