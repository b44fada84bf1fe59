#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace json {

// Writes the project-file syntax (see Syntax::ProjectFile) straight into a
// text, value by value in the order the caller gives, for documents too large
// to build as a tree first. It writes what a tree of the same values writes,
// provided the caller gives each object's members in name order (UTF-16 code
// unit order), which is how a tree keeps them.
class StreamWriter {
  public:
    // expectedLength: room for the text reserved at once.
    explicit StreamWriter(size_t expectedLength = 0);

    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    // The name of the next member of the open object.
    void Name(std::wstring_view name);
    void String(std::wstring_view text);
    void Int(int32_t value);
    void Bool(bool value);

    const std::wstring& Text() const { return text_; }
    // The text, handed over: the writer is empty afterwards.
    std::wstring TakeText() { return std::move(text_); }

  private:
    // Puts the comma before every value or member of a container but its first.
    void Separate();
    void Quoted(std::wstring_view text);

    std::wstring text_;
    // One entry per open container: whether it holds anything yet.
    std::vector<bool> filled_;
    bool afterName_ = false;
};

}  // namespace json
