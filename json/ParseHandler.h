#pragma once

#include <cstdint>
#include <string_view>

namespace json {

// What the parser found, in text order, for a reader that takes the values as
// they come instead of a tree of them: a large file then costs no object per
// value. A container's Begin comes before its contents and its End after
// them; in an object each value follows the Name it belongs to. A container
// that fails to parse gets no End. The views are valid only during the call.
class ParseHandler {
  public:
    virtual void Name(std::wstring_view name) = 0;
    virtual void BeginObject() = 0;
    virtual void EndObject() = 0;
    virtual void BeginArray() = 0;
    virtual void EndArray() = 0;
    virtual void String(std::wstring_view text) = 0;
    virtual void Int(int32_t value) = 0;
    virtual void Double(double value) = 0;
    virtual void Bool(bool value) = 0;
    virtual void Null() = 0;

  protected:
    ~ParseHandler() = default;
};

}  // namespace json
