#include "ui/ResourceStrings.h"

#include <windows.h>

#include "ui/ModuleInstance.h"

const std::wstring& ResourceStrings::Get(unsigned id) const {
    auto found = cache_.find(id);
    if (found != cache_.end()) return found->second;
    // With a zero length LoadStringW hands out a pointer into the resource
    // itself, so texts of any length come whole.
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(ModuleInstance(), id, reinterpret_cast<wchar_t*>(&text), 0);
    std::wstring value = length > 0 && text ? std::wstring(text, static_cast<size_t>(length)) : L"";
    return cache_.emplace(id, std::move(value)).first->second;
}
