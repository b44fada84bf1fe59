// Feeds arbitrary project-file text to the parser. Beyond "no crash, no leak, no
// undefined behaviour" it checks what the rest of the program relies on:
// - reading the text as null-terminated and as counted text both stay in bounds;
// - a tree that was read writes out as project-file text that reads back to the
//   same text (unless a double needs an exponent, which the syntax cannot read);
// - the standard-JSON form never carries a raw control character.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "common/Utf16.h"
#include "json/json.h"

namespace {

std::wstring Written(const json::jsonBase& value, json::Syntax syntax) {
    std::wostringstream out;
    value.WriteAs(out, syntax);
    return out.str();
}

// Six significant digits switch to an exponent (or inf / nan) outside a middle range,
// and a negative zero comes back as the integer 0.
bool DoublesReadBack(const json::jsonObject& object) {
    bool readable = true;
    object.Visit([&](const json::jsonBase& value) {
        if (value.Type() != json::TypeDouble) return;
        std::wstring text = Written(value, json::Syntax::ProjectFile);
        if (text.find_first_of(L"ein") != std::wstring::npos || text == L"-0") readable = false;
    });
    return readable;
}

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Project files are UTF-16 little endian.
    std::u16string units;
    for (size_t i = 0; i + 1 < size; i += 2) {
        units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
    const std::wstring text = Utf16::ToWide(units);

    int line = 1;
    std::wstring error;
    json::jsonObject terminated;
    bool terminated_ok = terminated.Parse(text.c_str(), line, error);
    Check(line >= 1);
    Check(terminated_ok || !error.empty());

    json::jsonObject counted;
    line = 1;
    error.clear();
    if (!counted.Parse(std::wstring_view(text), line, error)) return 0;

    std::wstring file = Written(counted, json::Syntax::ProjectFile);
    std::unique_ptr<json::jsonBase> clone(counted.Clone());
    Check(Written(*clone, json::Syntax::ProjectFile) == file);

    std::wstring standard = Written(counted, json::Syntax::Rfc8259);
    for (wchar_t c : standard) Check(c >= 0x20);

    if (!DoublesReadBack(counted)) return 0;
    json::jsonObject reread;
    line = 1;
    Check(reread.Parse(std::wstring_view(file), line, error));
    Check(line == 1);
    Check(Written(reread, json::Syntax::ProjectFile) == file);
    return 0;
}
