#include "json/StreamWriter.h"

#include <charconv>

namespace json {

StreamWriter::StreamWriter(size_t expectedLength) {
    text_.reserve(expectedLength);
    filled_.reserve(8);
}

void StreamWriter::BeginObject() {
    Separate();
    text_.push_back(L'{');
    filled_.push_back(false);
}

void StreamWriter::EndObject() {
    text_.push_back(L'}');
    filled_.pop_back();
}

void StreamWriter::BeginArray() {
    Separate();
    text_.push_back(L'[');
    filled_.push_back(false);
}

void StreamWriter::EndArray() {
    text_.push_back(L']');
    filled_.pop_back();
}

void StreamWriter::Name(std::wstring_view name) {
    Separate();
    Quoted(name);
    text_.push_back(L':');
    afterName_ = true;
}

void StreamWriter::String(std::wstring_view text) {
    Separate();
    Quoted(text);
}

void StreamWriter::Int(int32_t value) {
    Separate();
    char digits[16];
    auto result = std::to_chars(digits, digits + sizeof digits, value);
    for (const char* c = digits; c != result.ptr; ++c) text_.push_back(static_cast<wchar_t>(*c));
}

void StreamWriter::Bool(bool value) {
    Separate();
    text_.append(value ? L"true" : L"false");
}

void StreamWriter::Separate() {
    // A member's value follows its name without a comma.
    if (afterName_) {
        afterName_ = false;
        return;
    }
    if (filled_.empty()) return;
    if (filled_.back()) text_.push_back(L',');
    filled_.back() = true;
}

// As the tree writes a name or a string: a double quote inside is doubled,
// nothing else is touched.
void StreamWriter::Quoted(std::wstring_view text) {
    text_.push_back(L'"');
    for (size_t start = 0;;) {
        const size_t quote = text.find(L'"', start);
        if (quote == std::wstring_view::npos) {
            text_.append(text.substr(start));
            break;
        }
        text_.append(text.substr(start, quote + 1 - start));
        text_.push_back(L'"');
        start = quote + 1;
    }
    text_.push_back(L'"');
}

}  // namespace json
