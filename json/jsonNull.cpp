#include "json/jsonNull.h"

namespace json {

void jsonNull::WriteAs(std::wostream& out, Syntax) const { out << L"null"; }

}  // namespace json
