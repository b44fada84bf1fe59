#include "json/QuotedText.h"

#include <string>

#include "common/Utf16.h"

namespace json {
namespace {

void WriteProjectFile(std::wostream& out, std::wstring_view text) {
    // The project-file reader takes two quotes in a row inside a quoted text as one
    // quote; a single one ends the text. Nothing else is touched, so a text without
    // quotes is written as it always was (control characters included).
    size_t start = 0;
    for (size_t quote = text.find(L'"'); quote != std::wstring_view::npos;
         quote = text.find(L'"', start)) {
        WriteRaw(out, text.substr(start, quote + 1 - start));
        out.put(L'"');
        start = quote + 1;
    }
    WriteRaw(out, text.substr(start));
}

void AppendUnitEscape(std::u16string& out, char16_t unit) {
    static const char16_t kHex[] = u"0123456789ABCDEF";
    out += u"\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(unit >> shift) & 0xF]);
}

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// RFC 8259, section 7: quote, backslash and U+0000..U+001F must be escaped. A lone
// surrogate cannot be sent as UTF-8, so it goes out as \uXXXX, which standard
// decoders turn back into the same code unit. U+FFFF is escaped too: where wchar_t
// has 16 bits it equals WEOF, and a wide stream silently drops it.
std::u16string EscapeRfc8259(const std::u16string& units) {
    std::u16string out;
    out.reserve(units.size() + 2);
    for (size_t i = 0; i < units.size(); ++i) {
        char16_t unit = units[i];
        switch (unit) {
            case u'"':
                out += u"\\\"";
                continue;
            case u'\\':
                out += u"\\\\";
                continue;
            case u'\b':
                out += u"\\b";
                continue;
            case u'\f':
                out += u"\\f";
                continue;
            case u'\n':
                out += u"\\n";
                continue;
            case u'\r':
                out += u"\\r";
                continue;
            case u'\t':
                out += u"\\t";
                continue;
            default:
                break;
        }
        if (unit < 0x20) {
            AppendUnitEscape(out, unit);
        } else if (IsHighSurrogate(unit) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
            out.push_back(unit);
            out.push_back(units[++i]);
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit) || unit == 0xFFFF) {
            AppendUnitEscape(out, unit);
        } else {
            out.push_back(unit);
        }
    }
    return out;
}

}  // namespace

void WriteRaw(std::wostream& out, std::wstring_view text) {
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

void WriteQuoted(std::wostream& out, std::wstring_view text, Syntax syntax) {
    out.put(L'"');
    if (syntax == Syntax::ProjectFile) {
        WriteProjectFile(out, text);
    } else {
        WriteRaw(out, Utf16::ToWide(EscapeRfc8259(Utf16::FromWide(std::wstring(text)))));
    }
    out.put(L'"');
}

}  // namespace json
