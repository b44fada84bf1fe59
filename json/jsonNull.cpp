#include "json/jsonNull.h"

#include "json/QuotedText.h"

namespace json {

void jsonNull::WriteAs(std::wostream& out, Syntax) const { WriteRaw(out, L"null"); }

}  // namespace json
