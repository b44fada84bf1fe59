#include "json/jsonString.h"

#include "json/QuotedText.h"

namespace json {

void jsonString::WriteAs(std::wostream& out, Syntax syntax) const {
    WriteQuoted(out, value_, syntax);
}

}  // namespace json
