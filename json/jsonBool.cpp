#include "json/jsonBool.h"

#include "json/QuotedText.h"

namespace json {

void jsonBool::WriteAs(std::wostream& out, Syntax) const {
    WriteRaw(out, value_ ? L"true" : L"false");
}

}  // namespace json
