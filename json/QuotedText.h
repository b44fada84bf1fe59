#pragma once

#include <ostream>
#include <string_view>

#include "json/jsonBase.h"

namespace json {

// Writes a member name or string value with its surrounding double quotes.
void WriteQuoted(std::wostream& out, std::wstring_view text, Syntax syntax);

}  // namespace json
