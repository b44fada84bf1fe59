#include "json/jsonBool.h"

namespace json {

void jsonBool::WriteAs(std::wostream& out, Syntax) const { out << (value_ ? L"true" : L"false"); }

}  // namespace json
