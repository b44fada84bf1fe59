#include "document/SaveTemporary.h"

namespace SaveTemporary {

namespace {

constexpr wchar_t kMark[] = L".~";
constexpr size_t kMarkLength = 2;
// A process id has at most ten decimal digits; a counter is an unsigned.
constexpr size_t kMaxDigits = 10;

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// Reads the decimal number at text[at...] up to the first character that is
// not a digit; nothing when there is no digit or too many.
std::optional<uint64_t> Number(const std::wstring& text, size_t& at) {
    const size_t from = at;
    uint64_t value = 0;
    while (at < text.size() && IsDigit(text[at]) && at - from < kMaxDigits)
        value = value * 10 + static_cast<uint64_t>(text[at++] - L'0');
    if (at == from || (at < text.size() && IsDigit(text[at]))) return std::nullopt;
    return value;
}

}  // namespace

std::wstring Name(const std::wstring& fileName, uint32_t processId, unsigned counter) {
    return fileName + kMark + std::to_wstring(processId) + L"-" + std::to_wstring(counter);
}

std::optional<uint32_t> OwnerOf(const std::wstring& name, const std::wstring& fileName) {
    if (fileName.empty() || name.compare(0, fileName.size(), fileName) != 0 ||
        name.compare(fileName.size(), kMarkLength, kMark) != 0)
        return std::nullopt;
    size_t at = fileName.size() + kMarkLength;
    const std::optional<uint64_t> process = Number(name, at);
    if (!process || *process > 0xFFFFFFFFu || at >= name.size() || name[at] != L'-')
        return std::nullopt;
    ++at;
    if (!Number(name, at) || at != name.size()) return std::nullopt;
    return static_cast<uint32_t>(*process);
}

}  // namespace SaveTemporary
