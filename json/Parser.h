#pragma once

#include <string>
#include <string_view>

#include "json/ParseHandler.h"

namespace json {

class jsonArray;
class jsonObject;

// Recursive-descent reader of the project-file syntax, a relative of JSON:
// - member names may be bare (everything up to the ":" including spaces);
// - true, false and null are matched ignoring case and only as member values,
//   never as array elements;
// - numbers have no exponent; a decimal point makes a double, otherwise the value
//   is truncated to a 32-bit integer (out of range gives -2147483648);
// - there are no backslash escapes; inside a quoted name or string two double
//   quotes in a row stand for one, which is how the writer stores a quote. A quote
//   right after a closing quote used to be an error in every position, so no text
//   that could be read before reads differently now.
// Whitespace between tokens is space, tab, carriage return and line feed; every
// line feed skipped there advances the line counter.
class Parser {
  public:
    // A real project file nests three deep; the limit only keeps hostile input from
    // exhausting the stack.
    static constexpr int kMaxDepth = 128;

    Parser(std::wstring_view text, int& line, std::wstring& error);

    // The cursor must stand at (or before whitespace and) the opening bracket. On
    // failure the error text is set and the partly read members stay in the target.
    bool ParseObject(jsonObject& object);
    bool ParseArray(jsonArray& array);
    // The same, telling the handler what is found instead of building a tree.
    bool ParseObject(ParseHandler& handler);
    bool ParseArray(ParseHandler& handler);

  private:
    class DepthGuard;

    bool Object();
    bool Array();
    bool ParseMemberValue();
    bool ParseElement();
    bool ParseContainer();
    bool ReadToken(std::wstring& token, std::wstring_view terminators, bool may_be_quoted);
    bool ReadNumber();
    bool WordValue(const std::wstring& word);
    void SkipWhitespace();
    bool Fail(const wchar_t* message);
    bool FailTooDeep();

    // The character under the cursor, or a null character at the end of the text (a
    // null character inside the text matches nothing the grammar looks for either).
    wchar_t Peek() const { return pos_ < end_ ? *pos_ : L'\0'; }

    const wchar_t* pos_;
    const wchar_t* end_;
    int& line_;
    std::wstring& error_;
    int depth_ = 0;
    ParseHandler* handler_ = nullptr;
    // Reused for every name and text, so reading them allocates nothing once
    // the longest has been seen.
    std::wstring token_;
};

}  // namespace json
