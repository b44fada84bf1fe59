#include "protocol/DataItem.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <limits>

#include "common/CodePage.h"

namespace {

// Reads an unsigned decimal number as a 32-bit wcstoul reads it, on every
// platform: optional white space and sign, digits, nothing after them; a
// minus sign negates modulo 2^32; a magnitude beyond 4294967295 is refused
// (where unsigned long has 64 bits, wcstoul itself would take it).
bool ParseUnsigned32(const std::wstring& text, uint32_t& value) {
    if (text.empty()) {
        value = 0;
        return true;
    }
    const wchar_t* begin = text.c_str();
    const wchar_t* digits = begin;
    while (std::iswspace(static_cast<wint_t>(*digits))) ++digits;
    bool negative = false;
    if (*digits == L'+' || *digits == L'-') negative = *digits++ == L'-';
    // Without a digit wcstoul converts nothing and its end stays at the start.
    if (*digits < L'0' || *digits > L'9') return false;
    errno = 0;
    wchar_t* end = nullptr;
    unsigned long long magnitude = std::wcstoull(digits, &end, 10);
    if (end != begin + text.size() || errno == ERANGE || magnitude > 0xFFFFFFFFull) return false;
    auto low = static_cast<uint32_t>(magnitude);
    value = negative ? 0u - low : low;
    return true;
}

// The whole text must be consumed; an embedded zero character counts as a
// character that remains. A number too large for the type is refused rather
// than stored as infinity (the text "inf" itself is taken), except the
// largest finite value as FormatText writes it: its 15 significant digits
// round up past the limit, and a saved value must open again.
// The plain decimal form that FormatText writes, read without the C library,
// which some runtimes take microseconds over (a project holds thousands of
// values); from_chars rounds as correctly. Anything else (white space, a plus
// sign, hexadecimal, inf, nan, a value out of range) is left to the C library.
template <typename T>
bool ParsePlainDecimal(const std::wstring& text, T& value) {
    char narrow[64];
    if (text.empty() || text.size() >= sizeof narrow) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        const bool plain = (c >= L'0' && c <= L'9') || c == L'-' || c == L'.' || c == L'e' ||
                           c == L'E' || (c == L'+' && i > 0);
        if (!plain) return false;
        narrow[i] = static_cast<char>(c);
    }
    T parsed{};
    const auto result = std::from_chars(narrow, narrow + text.size(), parsed);
    if (result.ec != std::errc() || result.ptr != narrow + text.size()) return false;
    value = parsed;
    return true;
}

template <typename T, typename Parse>
bool ParseReal(const std::wstring& text, Parse parse, T& value) {
    if (ParsePlainDecimal(text, value)) return true;
    const wchar_t* begin = text.c_str();
    wchar_t* end = nullptr;
    errno = 0;
    T parsed = parse(begin, &end);
    if (end != begin + text.size()) return false;
    if (errno == ERANGE && std::isinf(parsed)) {
        constexpr long double kLargest = std::numeric_limits<T>::max();
        long double wide = std::wcstold(begin, nullptr);
        if (!(std::fabs(wide) <= kLargest * (1 + 1e-14L))) return false;
        parsed = std::signbit(wide) ? -std::numeric_limits<T>::max() : std::numeric_limits<T>::max();
    }
    value = parsed;
    return true;
}

// printf formatting of one number; the formats used give ASCII only.
std::wstring Printf(const char* format, double value) {
    int size = std::snprintf(nullptr, 0, format, value);
    if (size <= 0) return {};
    std::string narrow(static_cast<size_t>(size) + 1, '\0');
    std::snprintf(narrow.data(), narrow.size(), format, value);
    narrow.resize(static_cast<size_t>(size));
    return std::wstring(narrow.begin(), narrow.end());
}

// "%.15g": std::to_chars gives the same text as printf without its cost, which
// counts when a project of 65536 values is saved. Infinities and NaNs keep
// the C library's spelling.
std::wstring General15(double value) {
    if (!std::isfinite(value)) return Printf("%.15g", value);
    char digits[32];
    const auto result =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, 15);
    return std::wstring(digits, result.ptr);
}

std::wstring Decimal(uint64_t value) {
    std::string narrow = std::to_string(value);
    return std::wstring(narrow.begin(), narrow.end());
}

}  // namespace

DataItem::DataItem(const DataItem& other)
    : type(other.type),
      value_(other.value_),
      text_(other.text_ ? std::make_unique<std::string>(*other.text_) : nullptr) {}

DataItem& DataItem::operator=(const DataItem& other) {
    if (this != &other) {
        type = other.type;
        value_ = other.value_;
        if (!other.text_) {
            text_.reset();
        } else if (text_) {
            *text_ = *other.text_;
        } else {
            text_ = std::make_unique<std::string>(*other.text_);
        }
    }
    return *this;
}

const std::string& DataItem::Text() const {
    static const std::string kEmpty;
    return text_ ? *text_ : kEmpty;
}

DataItem DataItem::MakeFloat(float value) {
    return DataItem(Float, std::bit_cast<uint32_t>(value));
}

DataItem DataItem::MakeDouble(double value) {
    return DataItem(Double, std::bit_cast<uint64_t>(value));
}

DataItem DataItem::MakeString(std::string text) {
    DataItem item(String);
    if (!text.empty()) item.text_ = std::make_unique<std::string>(std::move(text));
    return item;
}

uint16_t DataItem::AsUnsignedShort() const {
    return type == UnsignedShort ? static_cast<uint16_t>(value_) : 0;
}
uint32_t DataItem::AsUnsignedInt() const {
    return type == UnsignedInt ? static_cast<uint32_t>(value_) : 0;
}
float DataItem::AsFloat() const {
    return type == Float ? std::bit_cast<float>(static_cast<uint32_t>(value_)) : 0.0f;
}
double DataItem::AsDouble() const { return type == Double ? std::bit_cast<double>(value_) : 0.0; }
uint8_t DataItem::AsByte() const { return type == Byte ? static_cast<uint8_t>(value_) : 0; }

bool DataItem::SetFromText(const std::wstring& input) {
    uint32_t number = 0;
    switch (type) {
        case Bit:
            if (input != L"0" && input != L"1") return false;
            *this = MakeBit(input == L"1");
            return true;
        case UnsignedShort:
            if (!ParseUnsigned32(input, number) || number > 0xFFFF) return false;
            *this = MakeUnsignedShort(static_cast<uint16_t>(number));
            return true;
        case UnsignedInt:
            if (!ParseUnsigned32(input, number)) return false;
            *this = MakeUnsignedInt(number);
            return true;
        case Byte:
            if (!ParseUnsigned32(input, number) || number > 0xFF) return false;
            *this = MakeByte(static_cast<uint8_t>(number));
            return true;
        case Float: {
            float value = 0;
            if (!ParseReal(
                    input, [](const wchar_t* s, wchar_t** e) { return std::wcstof(s, e); }, value))
                return false;
            *this = MakeFloat(value);
            return true;
        }
        case Double: {
            double value = 0;
            if (!ParseReal(
                    input, [](const wchar_t* s, wchar_t** e) { return std::wcstod(s, e); }, value))
                return false;
            *this = MakeDouble(value);
            return true;
        }
        case String:
            // The same code page as FormatText reads it with, so a text
            // survives any number of edits, saves and opens.
            *this = MakeString(CodePage::NarrowFromWide(input));
            return true;
        default:
            return false;
    }
}

std::wstring DataItem::FormatText() const {
    switch (type) {
        case Bit:
            return AsBit() ? L"1" : L"0";
        case UnsignedShort:
            return Decimal(AsUnsignedShort());
        case Byte:
            return Decimal(AsByte());
        case UnsignedInt:
            return Decimal(AsUnsignedInt());
        case Float:
            return General15(static_cast<double>(AsFloat()));
        case Double:
            return General15(AsDouble());
        case String:
            return CodePage::WideFromNarrow(Text());
        default:
            return L"?";
    }
}

size_t DataItem::FormatText(wchar_t* buffer, size_t capacity) const {
    if (!buffer || capacity == 0) return 0;
    // Numbers straight into the buffer: a project of 65536 values is saved
    // without a text object per value.
    char digits[32];
    char* end = nullptr;
    switch (type) {
        case Bit:
            digits[0] = AsBit() ? '1' : '0';
            end = digits + 1;
            break;
        case UnsignedShort:
            end = std::to_chars(digits, digits + sizeof digits, AsUnsignedShort()).ptr;
            break;
        case UnsignedInt:
            end = std::to_chars(digits, digits + sizeof digits, AsUnsignedInt()).ptr;
            break;
        case Byte:
            end = std::to_chars(digits, digits + sizeof digits, unsigned{AsByte()}).ptr;
            break;
        case Float:
        case Double: {
            const double number = type == Float ? static_cast<double>(AsFloat()) : AsDouble();
            if (std::isfinite(number))
                end = std::to_chars(digits, digits + sizeof digits, number,
                                    std::chars_format::general, 15)
                          .ptr;
            break;
        }
        default:
            break;
    }
    if (end != nullptr) {
        const size_t length = std::min(static_cast<size_t>(end - digits), capacity - 1);
        std::copy_n(digits, length, buffer);
        buffer[length] = L'\0';
        return length;
    }
    std::wstring formatted = FormatText();
    size_t length = std::min(formatted.size(), capacity - 1);
    std::copy_n(formatted.begin(), length, buffer);
    buffer[length] = L'\0';
    return length;
}

std::wstring DataItem::ToWString() const {
    switch (type) {
        case Bit:
            return AsBit() ? L"1" : L"0";
        case UnsignedShort:
            return Decimal(AsUnsignedShort());
        case UnsignedInt:
            return Decimal(AsUnsignedInt());
        case Byte:
            return Decimal(AsByte());
        case Float:
            return Printf("%f", static_cast<double>(AsFloat()));
        case Double:
            return Printf("%f", AsDouble());
        case String:
            return CodePage::WideFromNarrow(Text());
        default:
            return {};
    }
}

bool DataItem::Equals(const DataItem& other) const {
    if (type != other.type) return false;
    switch (type) {
        case UnsignedShort:
        case UnsignedInt:
        case Byte:
            return value_ == other.value_;
        case Float:
            return AsFloat() == other.AsFloat();
        case Double:
            return AsDouble() == other.AsDouble();
        case String:
            return Text() == other.Text();
        default:
            return false;
    }
}

const wchar_t* DataItem::TypeName(Type type) {
    switch (type) {
        case Unknown:
            return L"Unknown";
        case Bit:
            return L"Bit";
        case UnsignedShort:
            return L"Unsigned Short";
        case UnsignedInt:
            return L"Unsigned Int";
        case Float:
            return L"Float";
        case Double:
            return L"Double";
        case String:
            return L"String";
        default:
            return L"";
    }
}
