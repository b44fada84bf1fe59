#include "common/Utf16.h"

#include <gtest/gtest.h>

TEST(Utf16, EncodesCodePointsAboveTheBasicPlaneAsSurrogatePairs) {
    std::wstring clef = Utf16::ToWide(u"\U0001D11E");
    EXPECT_EQ(Utf16::FromWide(clef), u"\U0001D11E");
    EXPECT_EQ(Utf16::ToUtf8(clef), "\xF0\x9D\x84\x9E");
}

TEST(Utf16, KeepsLoneSurrogatesThroughARoundTrip) {
    std::u16string odd = {u'a', char16_t(0xD800), u'b', char16_t(0xDC00)};
    EXPECT_EQ(Utf16::FromWide(Utf16::ToWide(odd)), odd);
    EXPECT_EQ(Utf16::ToUtf8(Utf16::ToWide(odd)), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}

TEST(Utf16, OrdersByCodeUnitsNotCodePoints) {
    // U+FF5E is one unit 0xFF5E; U+10000 is the pair D800 DC00, so it sorts first.
    std::wstring wide_tilde = Utf16::ToWide(u"\uFF5E");
    std::wstring linear_b = Utf16::ToWide(u"\U00010000");
    EXPECT_LT(Utf16::Compare(linear_b, wide_tilde), 0);
    EXPECT_GT(Utf16::Compare(L"b", L"a"), 0);
    EXPECT_EQ(Utf16::Compare(L"same", L"same"), 0);
    EXPECT_LT(Utf16::Compare(L"ab", L"abc"), 0);
    EXPECT_LT(Utf16::Compare(L"x" + linear_b + L"a", L"x" + wide_tilde), 0) << "after a common start";
    EXPECT_GT(Utf16::Compare(L"x" + wide_tilde, L"x" + linear_b + L"a"), 0);
    std::wstring lone_high = Utf16::ToWide(std::u16string{char16_t(0xD800)});
    EXPECT_LT(Utf16::Compare(lone_high, linear_b), 0) << "D800 before D800 DC00";
}

TEST(Utf16, DecodesUtf8AndReplacesMalformedSequences) {
    EXPECT_EQ(Utf16::FromUtf8("\xC2\xB0" "C"), L"\u00B0C");
    EXPECT_EQ(Utf16::FromUtf8("\xC0\x80"), L"\uFFFD");  // overlong NUL
    EXPECT_EQ(Utf16::FromUtf8("\xE2\x82"), L"\uFFFD\uFFFD");
}
