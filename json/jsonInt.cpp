#include "json/jsonInt.h"

#include <charconv>

namespace json {

// Formatted by hand rather than by the stream's own insertion: a caller's stream
// may carry a locale with digit grouping or a width, and the text must stay JSON.
void jsonInt::WriteAs(std::wostream& out, Syntax) const {
    char digits[16];
    auto result = std::to_chars(digits, digits + sizeof digits, value_);
    for (const char* c = digits; c != result.ptr; ++c) out.put(static_cast<wchar_t>(*c));
}

}  // namespace json
