#include "common/Utf16.h"

#include <algorithm>

namespace Utf16 {
namespace {

constexpr bool kWideIsUtf16 = sizeof(wchar_t) == 2;
constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Calls emit(code point) for each code point of a UTF-16 sequence; a lone
// surrogate is passed on as itself.
template <typename Units, typename Emit>
void ForEachCodePoint(const Units& units, Emit emit) {
    for (size_t i = 0; i < units.size(); ++i) {
        char32_t c = static_cast<char16_t>(units[i]);
        if (IsHighSurrogate(c) && i + 1 < units.size()) {
            char32_t next = static_cast<char16_t>(units[i + 1]);
            if (IsLowSurrogate(next)) {
                emit(0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00));
                ++i;
                continue;
            }
        }
        emit(c);
    }
}

template <typename Out>
void AppendUtf16(Out& out, char32_t c) {
    using Unit = typename Out::value_type;
    if (c > 0x10FFFF) c = kReplacement;
    if (c >= 0x10000) {
        c -= 0x10000;
        out.push_back(static_cast<Unit>(0xD800 + (c >> 10)));
        out.push_back(static_cast<Unit>(0xDC00 + (c & 0x3FF)));
    } else {
        out.push_back(static_cast<Unit>(c));
    }
}

template <typename Emit>
void ForEachWideCodePoint(const std::wstring& wide, Emit emit) {
    if constexpr (kWideIsUtf16) {
        ForEachCodePoint(wide, emit);
    } else {
        for (wchar_t c : wide) emit(static_cast<char32_t>(c));
    }
}

void AppendWide(std::wstring& out, char32_t c) {
    if constexpr (kWideIsUtf16) {
        AppendUtf16(out, c);
    } else {
        out.push_back(static_cast<wchar_t>(c > 0x10FFFF ? kReplacement : c));
    }
}

void AppendUtf8(std::string& out, char32_t c) {
    if (IsSurrogate(c) || c > 0x10FFFF) c = kReplacement;
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

}  // namespace

std::u16string FromWide(const std::wstring& wide) {
    std::u16string units;
    units.reserve(wide.size());
    if constexpr (kWideIsUtf16) {
        for (wchar_t c : wide) units.push_back(static_cast<char16_t>(c));
    } else {
        for (wchar_t c : wide) AppendUtf16(units, static_cast<char32_t>(c));
    }
    return units;
}

std::wstring ToWide(const std::u16string& units) {
    std::wstring wide;
    wide.reserve(units.size());
    ForEachCodePoint(units, [&](char32_t c) { AppendWide(wide, c); });
    return wide;
}

int Compare(const std::wstring& a, const std::wstring& b) {
    if constexpr (kWideIsUtf16) {
        return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
    } else {
        // Code-unit order equals code-point order unless a character above the
        // basic plane meets one that is not; only then are the rest converted.
        // Names are compared for every member inserted, so the common case
        // allocates nothing.
        size_t common = std::min(a.size(), b.size());
        for (size_t i = 0; i < common; ++i) {
            char32_t x = static_cast<char32_t>(a[i]), y = static_cast<char32_t>(b[i]);
            if (x == y) continue;
            bool xWide = x > 0xFFFF, yWide = y > 0xFFFF;
            if (xWide == yWide && x <= 0x10FFFF && y <= 0x10FFFF) return x < y ? -1 : 1;
            std::u16string ua = FromWide(a.substr(i)), ub = FromWide(b.substr(i));
            return ua < ub ? -1 : (ua == ub ? 0 : 1);
        }
        return a.size() < b.size() ? -1 : (a.size() == b.size() ? 0 : 1);
    }
}

std::string ToUtf8(const std::wstring& wide) {
    // Rows, numbers and most names are plain ASCII, which is its own UTF-8:
    // that leading run is copied as it is and only the rest encoded.
    size_t ascii = 0;
    while (ascii < wide.size() && static_cast<char32_t>(wide[ascii]) < 0x80) ++ascii;
    std::string out(ascii, '\0');
    for (size_t i = 0; i < ascii; ++i) out[i] = static_cast<char>(wide[i]);
    if (ascii == wide.size()) return out;
    out.reserve(wide.size());
    ForEachWideCodePoint(wide.substr(ascii), [&](char32_t c) { AppendUtf8(out, c); });
    return out;
}

std::wstring FromUtf8(const std::string& utf8) {
    std::wstring out;
    size_t i = 0;
    auto cont = [&](size_t k) {
        return i + k < utf8.size() && (static_cast<unsigned char>(utf8[i + k]) & 0xC0) == 0x80;
    };
    while (i < utf8.size()) {
        unsigned char b = static_cast<unsigned char>(utf8[i]);
        char32_t c = kReplacement;
        size_t length = 1;
        if (b < 0x80) {
            c = b;
        } else if ((b & 0xE0) == 0xC0 && cont(1)) {
            c = ((b & 0x1F) << 6) | (utf8[i + 1] & 0x3F);
            length = 2;
            if (c < 0x80) c = kReplacement;
        } else if ((b & 0xF0) == 0xE0 && cont(1) && cont(2)) {
            c = ((b & 0x0F) << 12) | ((utf8[i + 1] & 0x3F) << 6) | (utf8[i + 2] & 0x3F);
            length = 3;
            if (c < 0x800 || IsSurrogate(c)) c = kReplacement;
        } else if ((b & 0xF8) == 0xF0 && cont(1) && cont(2) && cont(3)) {
            c = ((b & 0x07) << 18) | ((utf8[i + 1] & 0x3F) << 12) | ((utf8[i + 2] & 0x3F) << 6) |
                (utf8[i + 3] & 0x3F);
            length = 4;
            if (c < 0x10000 || c > 0x10FFFF) c = kReplacement;
        }
        AppendWide(out, c);
        i += length;
    }
    return out;
}

}  // namespace Utf16
