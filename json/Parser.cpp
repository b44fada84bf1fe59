#include "json/Parser.h"

#include <cstdint>

#include "json/TreeBuilder.h"
#include "json/jsonArray.h"
#include "json/jsonObject.h"

namespace json {
namespace {

constexpr wchar_t kQuote = L'"';
constexpr std::wstring_view kNameEnd = L":";
constexpr std::wstring_view kStringEnd = L",}";  // a quoted value never stops at these
constexpr std::wstring_view kWordEnd = L" \t\n\r,}";

// Enough fraction digits for a double's precision; later ones are read and dropped.
constexpr int kMaxFractionDigits = 18;

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

bool EqualsIgnoringAsciiCase(const std::wstring& word, std::wstring_view lower) {
    if (word.size() != lower.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
        wchar_t c = word[i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != lower[i]) return false;
    }
    return true;
}

// Truncates towards zero; anything outside the 32-bit range (infinity included)
// becomes the lowest value instead of undefined behaviour.
int32_t ToInt32(double value) {
    if (value > -2147483649.0 && value < 2147483648.0) return static_cast<int32_t>(value);
    return INT32_MIN;
}

double PowerOfTen(int exponent) {
    double power = 1.0;
    for (int i = 0; i < exponent; ++i) power *= 10.0;  // exact up to 1e22
    return power;
}

}  // namespace

class Parser::DepthGuard {
  public:
    explicit DepthGuard(int& depth) : depth_(depth) { ++depth_; }
    ~DepthGuard() { --depth_; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

  private:
    int& depth_;
};

Parser::Parser(std::wstring_view text, int& line, std::wstring& error)
    : pos_(text.data()), end_(text.data() + text.size()), line_(line), error_(error) {}

bool Parser::ParseObject(jsonObject& object) {
    TreeBuilder builder(object);
    return ParseObject(builder);
}

bool Parser::ParseArray(jsonArray& array) {
    TreeBuilder builder(array);
    return ParseArray(builder);
}

bool Parser::ParseObject(ParseHandler& handler) {
    handler_ = &handler;
    return Object();
}

bool Parser::ParseArray(ParseHandler& handler) {
    handler_ = &handler;
    return Array();
}

bool Parser::Object() {
    DepthGuard guard(depth_);
    if (depth_ > kMaxDepth) return FailTooDeep();
    SkipWhitespace();
    if (Peek() != L'{') return Fail(L"Expected {");
    ++pos_;
    handler_->BeginObject();
    SkipWhitespace();
    if (Peek() == L'}') {
        ++pos_;
        handler_->EndObject();
        return true;
    }
    for (;;) {
        SkipWhitespace();
        token_.clear();
        if (!ReadToken(token_, kNameEnd, true)) return Fail(L"Expected property name");
        SkipWhitespace();
        if (Peek() != L':') return Fail(L"Expected :");
        ++pos_;
        SkipWhitespace();
        handler_->Name(token_);
        if (!ParseMemberValue()) return false;
        SkipWhitespace();
        if (Peek() == L'}') {
            ++pos_;
            handler_->EndObject();
            return true;
        }
        if (Peek() != L',') return Fail(L"Expected ,");
        ++pos_;
    }
}

bool Parser::Array() {
    DepthGuard guard(depth_);
    if (depth_ > kMaxDepth) return FailTooDeep();
    SkipWhitespace();
    if (Peek() != L'[') return Fail(L"Expected [");
    ++pos_;
    handler_->BeginArray();
    SkipWhitespace();
    if (Peek() == L']') {
        ++pos_;
        handler_->EndArray();
        return true;
    }
    for (;;) {
        SkipWhitespace();
        if (!ParseElement()) return false;
        SkipWhitespace();
        if (Peek() == L']') {
            ++pos_;
            handler_->EndArray();
            return true;
        }
        if (Peek() != L',') return Fail(L"Expected ,");
        ++pos_;
    }
}

bool Parser::ParseMemberValue() {
    wchar_t first = Peek();
    if (first == L'{' || first == L'[') return ParseContainer();
    if (first == kQuote) {
        token_.clear();
        if (!ReadToken(token_, kStringEnd, true)) return Fail(L"Expected , or }");
        handler_->String(token_);
        return true;
    }
    if (ReadNumber()) return true;
    // A sign or point consumed by the failed number stays consumed.
    token_.clear();
    ReadToken(token_, kWordEnd, false);
    return WordValue(token_) ? true : Fail(L"Expected true / false");
}

bool Parser::ParseElement() {
    wchar_t first = Peek();
    if (first == L'{' || first == L'[') return ParseContainer();
    if (first == kQuote) {
        token_.clear();
        if (!ReadToken(token_, kStringEnd, true)) return Fail(L"Expected value");
        handler_->String(token_);
        return true;
    }
    return ReadNumber() ? true : Fail(L"Expected number");
}

bool Parser::ParseContainer() { return Peek() == L'{' ? Object() : Array(); }

// A quoted token ends at its closing quote (a doubled quote is one quote of the
// text) and fails at the end of the text; a bare one ends before any terminator or
// at the end of the text and always succeeds, even empty.
bool Parser::ReadToken(std::wstring& token, std::wstring_view terminators, bool may_be_quoted) {
    bool quoted = may_be_quoted && pos_ < end_ && *pos_ == kQuote;
    if (quoted) ++pos_;
    const wchar_t* start = pos_;
    while (pos_ < end_) {
        wchar_t c = *pos_;
        if (quoted && c == kQuote) {
            token.append(start, pos_);
            if (pos_ + 1 < end_ && pos_[1] == kQuote) {
                token.push_back(kQuote);
                pos_ += 2;
                start = pos_;
                continue;
            }
            ++pos_;
            return true;
        }
        if (!quoted && terminators.find(c) != std::wstring_view::npos) break;
        ++pos_;
    }
    token.append(start, pos_);
    return !quoted;
}

// Sign, digits, and an optional point with more digits; no exponent. Found when at
// least one digit was read on either side of the point.
bool Parser::ReadNumber() {
    bool negative = false;
    if (Peek() == L'-' || Peek() == L'+') {
        negative = *pos_ == L'-';
        ++pos_;
    }
    bool found = false;
    double number = 0.0;
    for (; IsDigit(Peek()); ++pos_) {
        number = number * 10.0 + (*pos_ - L'0');
        found = true;
    }
    bool fraction = Peek() == L'.';
    if (fraction) {
        ++pos_;
        uint64_t digits = 0;
        int count = 0;
        for (; IsDigit(Peek()); ++pos_) {
            if (count < kMaxFractionDigits) {
                digits = digits * 10 + static_cast<uint64_t>(*pos_ - L'0');
                ++count;
            }
            found = true;
        }
        number += static_cast<double>(digits) / PowerOfTen(count);
    }
    if (!found) return false;
    if (negative) number = -number;
    if (fraction) {
        handler_->Double(number);
    } else {
        handler_->Int(ToInt32(number));
    }
    return true;
}

bool Parser::WordValue(const std::wstring& word) {
    if (EqualsIgnoringAsciiCase(word, L"true")) {
        handler_->Bool(true);
    } else if (EqualsIgnoringAsciiCase(word, L"false")) {
        handler_->Bool(false);
    } else if (EqualsIgnoringAsciiCase(word, L"null")) {
        handler_->Null();
    } else {
        return false;
    }
    return true;
}

void Parser::SkipWhitespace() {
    for (; pos_ < end_; ++pos_) {
        wchar_t c = *pos_;
        if (c == L'\n') {
            ++line_;
        } else if (c != L' ' && c != L'\r' && c != L'\t') {
            break;
        }
    }
}

bool Parser::Fail(const wchar_t* message) {
    error_ = message;
    return false;
}

bool Parser::FailTooDeep() {
    error_ = L"Nesting deeper than " + std::to_wstring(kMaxDepth) + L" levels";
    return false;
}

}  // namespace json
