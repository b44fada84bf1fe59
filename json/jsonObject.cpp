#include "json/jsonObject.h"

#include <cwchar>

#include "common/Utf16.h"
#include "json/Parser.h"
#include "json/QuotedText.h"
#include "json/jsonArray.h"
#include "json/jsonBool.h"
#include "json/jsonInt.h"
#include "json/jsonNull.h"
#include "json/jsonString.h"

namespace json {

bool NameOrder::operator()(const std::wstring& a, const std::wstring& b) const {
    return Utf16::Compare(a, b) < 0;
}

jsonObject::jsonObject(const jsonObject& other) : jsonCollection(other) {
    for (const auto& [name, value] : other.members_) {
        members_.emplace_hint(members_.end(), name, value->Clone());
    }
}

jsonObject& jsonObject::operator=(const jsonObject& other) {
    if (this != &other) {
        jsonObject copy(other);
        members_.swap(copy.members_);
    }
    return *this;
}

void jsonObject::WriteAs(std::wostream& out, Syntax syntax) const {
    out.put(L'{');
    bool first = true;
    for (const auto& [name, value] : members_) {
        if (!first) out.put(L',');
        first = false;
        WriteQuoted(out, name, syntax);
        out.put(L':');
        value->WriteAs(out, syntax);
    }
    out.put(L'}');
}

void jsonObject::Visit(const Visitor& callback) const {
    for (const auto& [name, value] : members_) {
        callback(*value);
        if (value->Type() == TypeObject || value->Type() == TypeArray) {
            static_cast<const jsonCollection&>(*value).Visit(callback);
        }
    }
}

void jsonObject::SetString(std::wstring_view name, std::wstring_view text) {
    Set(name, std::make_unique<jsonString>(std::wstring(text)));
}

void jsonObject::SetInt(std::wstring_view name, int32_t value) {
    Set(name, std::make_unique<jsonInt>(value));
}

void jsonObject::SetBool(std::wstring_view name, bool value) {
    Set(name, std::make_unique<jsonBool>(value));
}

void jsonObject::SetArray(std::wstring_view name, const jsonArray& array) {
    // Copied before the old member goes, so an array may be stored over itself.
    Set(name, std::make_unique<jsonArray>(array));
}

void jsonObject::Set(std::wstring_view name, std::unique_ptr<jsonBase> value) {
    if (!value) value = std::make_unique<jsonNull>();
    members_.insert_or_assign(std::wstring(name), std::move(value));
}

const jsonBase* jsonObject::Find(std::wstring_view name) const {
    auto found = members_.find(std::wstring(name));
    return found == members_.end() ? nullptr : found->second.get();
}

template <typename T>
const T* jsonObject::FindTyped(std::wstring_view name, int type) const {
    const jsonBase* value = Find(name);
    return value && value->Type() == type ? static_cast<const T*>(value) : nullptr;
}

const jsonInt* jsonObject::GetInt(std::wstring_view name) const {
    return FindTyped<jsonInt>(name, TypeInt);
}

const jsonString* jsonObject::GetString(std::wstring_view name) const {
    return FindTyped<jsonString>(name, TypeString);
}

const jsonArray* jsonObject::GetArray(std::wstring_view name) const {
    return FindTyped<jsonArray>(name, TypeArray);
}

bool jsonObject::Parse(const wchar_t* text, int& line, std::wstring& error) {
    return Parse(text ? std::wstring_view(text, std::wcslen(text)) : std::wstring_view(), line,
                 error);
}

bool jsonObject::Parse(std::wstring_view text, int& line, std::wstring& error) {
    Parser parser(text, line, error);
    return parser.ParseObject(*this);
}

}  // namespace json
