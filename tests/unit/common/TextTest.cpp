#include <gtest/gtest.h>

#include "common/CodePage.h"
#include "common/Utf16.h"

TEST(CodePage, RoundTripsEveryByteAndTheDegreeSign) {
    std::string all;
    for (int c = 1; c < 256; ++c) all.push_back(static_cast<char>(c));
    EXPECT_EQ(CodePage::NarrowFromWide(CodePage::WideFromNarrow(all)), all);
    EXPECT_EQ(CodePage::WideFromNarrow(CodePage::NarrowFromWide(L"\u00B0C")), L"\u00B0C");
    EXPECT_EQ(CodePage::WideFromNarrow("Pump 7: ok"), L"Pump 7: ok");
}

TEST(Utf16, ConvertsWithSurrogatePairsKeepsLoneOnesAndOrdersByCodeUnits) {
    const std::wstring clef = Utf16::ToWide(u"\U0001D11E");
    EXPECT_EQ(Utf16::FromWide(clef), u"\U0001D11E");
    EXPECT_EQ(Utf16::ToUtf8(clef), "\xF0\x9D\x84\x9E");
    EXPECT_EQ(Utf16::ToUtf8(L"Pump " + clef + L"\u00B0C"),
              "Pump \xF0\x9D\x84\x9E\xC2\xB0"
              "C")
        << "a plain start, then a pair";
    const std::u16string odd = {u'a', char16_t(0xD800), u'b', char16_t(0xDC00)};
    EXPECT_EQ(Utf16::FromWide(Utf16::ToWide(odd)), odd);
    EXPECT_EQ(Utf16::ToUtf8(Utf16::ToWide(odd)),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
    EXPECT_EQ(Utf16::FromUtf8("\xC2\xB0"
                              "C"),
              L"\u00B0C");
    EXPECT_EQ(Utf16::FromUtf8("\xC0\x80"), L"\uFFFD") << "overlong NUL";
    EXPECT_EQ(Utf16::FromUtf8("\xE2\x82"), L"\uFFFD\uFFFD");

    // U+FF5E is one unit; U+10000 is the pair D800 DC00, so it sorts first.
    const std::wstring tilde = Utf16::ToWide(u"\uFF5E"), linearB = Utf16::ToWide(u"\U00010000");
    EXPECT_LT(Utf16::Compare(linearB, tilde), 0);
    EXPECT_GT(Utf16::Compare(L"x" + tilde, L"x" + linearB + L"a"), 0) << "after a common start";
    EXPECT_LT(Utf16::Compare(L"ab", L"abc"), 0);
    EXPECT_EQ(Utf16::Compare(L"same", L"same"), 0);
    EXPECT_LT(Utf16::Compare(Utf16::ToWide(std::u16string{char16_t(0xD800)}), linearB), 0);
}
