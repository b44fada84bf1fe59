#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "json/jsonCollection.h"

namespace json {

class jsonArray;
class jsonInt;
class jsonString;

// Members are kept ordered by name as UTF-16 code units on every platform (so
// "Serial" comes before "baud"), which is also the order in which they are written.
struct NameOrder {
    bool operator()(const std::wstring& a, const std::wstring& b) const;
};

class jsonObject : public jsonCollection {
  public:
    using Members = std::map<std::wstring, std::unique_ptr<jsonBase>, NameOrder>;

    jsonObject() = default;
    jsonObject(const jsonObject& other);  // deep copy
    jsonObject& operator=(const jsonObject& other);
    jsonObject(jsonObject&&) noexcept = default;
    jsonObject& operator=(jsonObject&&) noexcept = default;
    ~jsonObject() override = default;

    void WriteAs(std::wostream& out, Syntax syntax) const override;
    jsonObject* Clone() const override { return new jsonObject(*this); }
    int Type() const override { return TypeObject; }
    void Visit(const Visitor& callback) const override;

    // Each setter replaces (and destroys) whatever the name held before.
    void SetString(std::wstring_view name, std::wstring_view text);
    void SetInt(std::wstring_view name, int32_t value);
    void SetBool(std::wstring_view name, bool value);
    // Stores a deep copy; the caller keeps its own array.
    void SetArray(std::wstring_view name, const jsonArray& array);
    // Takes ownership; a null pointer stores a JSON null.
    void Set(std::wstring_view name, std::unique_ptr<jsonBase> value);

    // Non-owning; valid until the member is replaced or the object destroyed. Null
    // when the name is absent or holds another type.
    const jsonInt* GetInt(std::wstring_view name) const;
    const jsonString* GetString(std::wstring_view name) const;
    const jsonArray* GetArray(std::wstring_view name) const;
    const jsonBase* Find(std::wstring_view name) const;

    size_t Count() const { return members_.size(); }
    const Members& Items() const { return members_; }

    // Reads one object of the project-file syntax into this object. The text ends
    // at its first null character; the view form ends at the end of the view, so a
    // null character inside a string survives. `line` advances by one for every
    // line feed between tokens. On failure `error` says why, `line` where, and the
    // members read so far stay here (the caller discards the object); on success
    // `error` is left alone. Anything after the object's closing brace is ignored.
    bool Parse(const wchar_t* text, int& line, std::wstring& error);
    bool Parse(std::wstring_view text, int& line, std::wstring& error);

  private:
    template <typename T>
    const T* FindTyped(std::wstring_view name, int type) const;

    Members members_;
};

}  // namespace json
