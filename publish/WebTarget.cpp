#include "publish/WebTarget.h"

#include <string_view>

namespace {

bool IsAsciiLetterOrDigit(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9');
}

size_t Run(const std::wstring& text, size_t from, bool (*fits)(wchar_t)) {
    size_t end = from;
    while (end < text.size() && fits(text[end])) ++end;
    return end;
}

bool IsPathCharacter(wchar_t c) { return IsAsciiLetterOrDigit(c) || c == L'/'; }
bool IsNameCharacter(wchar_t c) { return IsAsciiLetterOrDigit(c); }
bool IsValueCharacter(wchar_t c) { return IsAsciiLetterOrDigit(c) || c == L'_'; }

// The separator between a parameter's name and value, longest form first.
size_t SeparatorLength(const std::wstring& text, size_t at) {
    static constexpr std::wstring_view kSeparators[] = {L"%5B%5D=", L"[]=", L"="};
    const std::wstring_view rest = std::wstring_view(text).substr(at);
    for (std::wstring_view separator : kSeparators) {
        if (rest.substr(0, separator.size()) == separator) return separator.size();
    }
    return 0;
}

}  // namespace

WebTarget WebTarget::Parse(const std::wstring& target) {
    WebTarget parsed;
    if (target.empty() || target[0] != L'/') return parsed;
    size_t at = Run(target, 1, IsPathCharacter);
    parsed.path = target.substr(1, at - 1);
    if (at >= target.size() || target[at] != L'?') return parsed;
    ++at;
    for (;;) {
        const size_t nameEnd = Run(target, at, IsNameCharacter);
        const size_t separator = SeparatorLength(target, nameEnd);
        if (separator == 0) break;
        const size_t valueStart = nameEnd + separator;
        const size_t valueEnd = Run(target, valueStart, IsValueCharacter);
        parsed.parameters[target.substr(at, nameEnd - at)].push_back(
            target.substr(valueStart, valueEnd - valueStart));
        if (valueEnd >= target.size() || target[valueEnd] != L'&') break;
        at = valueEnd + 1;
    }
    return parsed;
}

const std::vector<std::wstring>& WebTarget::Values(const std::wstring& name) const {
    static const std::vector<std::wstring> kNone;
    auto found = parameters.find(name);
    return found == parameters.end() ? kNone : found->second;
}

unsigned short LeadingNumber16(const std::wstring& text) {
    unsigned value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') break;
        // Only the low 16 bits are kept, so any number of digits is safe.
        value = (value * 10 + static_cast<unsigned>(c - L'0')) & 0xFFFF;
    }
    return static_cast<unsigned short>(value);
}
