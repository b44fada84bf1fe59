#pragma once

#include <ostream>
#include <string_view>

#include "json/jsonBase.h"

namespace json {

// Unformatted output: a width or locale left on the caller's stream must not pad or
// alter JSON text.
void WriteRaw(std::wostream& out, std::wstring_view text);

// Writes a member name or string value with its surrounding double quotes.
void WriteQuoted(std::wostream& out, std::wstring_view text, Syntax syntax);

}  // namespace json
