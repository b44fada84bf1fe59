#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "protocol/DataItem.h"

namespace {

// SetFromText on an item of the given type: the stored text of the value, or
// "refused" (the item must then be unchanged).
std::wstring Parse(DataItem::Type type, const std::wstring& text) {
    DataItem item(type);
    if (!item.SetFromText(text)) {
        EXPECT_EQ(item.FormatText(), DataItem(type).FormatText()) << "a refusal changed the item";
        return L"refused";
    }
    return item.FormatText();
}

}  // namespace

TEST(DataItemSetFromText, AcceptsUnsignedShortsUpTo65535) {
    EXPECT_EQ(Parse(DataItem::UnsignedShort, L"65535"), L"65535");
    EXPECT_EQ(Parse(DataItem::UnsignedShort, L"65536"), L"refused");
    EXPECT_EQ(Parse(DataItem::UnsignedShort, L"12a"), L"refused");
    EXPECT_EQ(Parse(DataItem::UnsignedShort, L""), L"0");
    EXPECT_EQ(Parse(DataItem::UnsignedShort, L"  +42"), L"42");
    EXPECT_EQ(Parse(DataItem::UnsignedShort, L"-1"), L"refused") << "wraps to 4294967295";
    EXPECT_EQ(Parse(DataItem::UnsignedShort, L" "), L"refused");
}

TEST(DataItemSetFromText, TakesBitsOnlyAsExactlyZeroOrOne) {
    EXPECT_EQ(Parse(DataItem::Bit, L"1"), L"1");
    EXPECT_EQ(Parse(DataItem::Bit, L"0"), L"0");
    for (const wchar_t* text : {L"true", L" 1", L"2", L"", L"01"})
        EXPECT_EQ(Parse(DataItem::Bit, text), L"refused") << text;
}

TEST(DataItemSetFromText, ReadsUnsignedIntsAsA32BitWcstoulOnEveryPlatform) {
    EXPECT_EQ(Parse(DataItem::UnsignedInt, L"4294967295"), L"4294967295");
    // Where unsigned long has 64 bits wcstoul would take these; a 32-bit one
    // reports them out of range.
    EXPECT_EQ(Parse(DataItem::UnsignedInt, L"4294967296"), L"refused");
    EXPECT_EQ(Parse(DataItem::UnsignedInt, L"99999999999999999999999"), L"refused");
    EXPECT_EQ(Parse(DataItem::UnsignedInt, L"-1"), L"4294967295") << "wcstoul negates";
    EXPECT_EQ(Parse(DataItem::UnsignedInt, L"7 "), L"refused");
    EXPECT_EQ(Parse(DataItem::UnsignedInt, std::wstring(L"7\0"
                                                        L"8",
                                                        3)),
              L"refused")
        << "an embedded zero is a character that remains";
}

TEST(DataItemSetFromText, TakesBytesUpTo255) {
    EXPECT_EQ(Parse(DataItem::Byte, L"255"), L"255");
    EXPECT_EQ(Parse(DataItem::Byte, L"256"), L"refused");
}

TEST(DataItemSetFromText, ParsesFloatsAndDoublesWhole) {
    EXPECT_EQ(Parse(DataItem::Float, L"1.5"), L"1.5");
    EXPECT_EQ(Parse(DataItem::Float, L"-2.5e3"), L"-2500");
    EXPECT_EQ(Parse(DataItem::Float, L"1.5x"), L"refused");
    EXPECT_EQ(Parse(DataItem::Double, L"0.1"), L"0.1");
    EXPECT_EQ(Parse(DataItem::Double, L""), L"0");
    EXPECT_EQ(Parse(DataItem::Double, L"1e20"), L"1e+20");
    EXPECT_EQ(Parse(DataItem::Float, L"0x10"), L"16");
    EXPECT_EQ(Parse(DataItem::Float, L"-inf"), L"-inf");
    EXPECT_EQ(Parse(DataItem::Double, L"nan"), L"nan");
}

TEST(DataItemSetFromText, RefusesNumbersTooLargeForTheType) {
    EXPECT_EQ(Parse(DataItem::Float, L"1e50"), L"refused") << "not stored as infinity";
    EXPECT_EQ(Parse(DataItem::Double, L"1e50"), L"1e+50");
    EXPECT_EQ(Parse(DataItem::Double, L"1e400"), L"refused");
    EXPECT_EQ(Parse(DataItem::Float, L"1e-50"), L"0") << "underflow rounds to zero";
}

TEST(DataItemSetFromText, ReadsBackTheLargestValuesAsTheyAreFormatted) {
    for (double largest : {std::numeric_limits<double>::max(), -std::numeric_limits<double>::max()}) {
        DataItem formatted = DataItem::MakeDouble(largest);
        DataItem parsed(DataItem::Double);
        ASSERT_TRUE(parsed.SetFromText(formatted.FormatText())) << formatted.FormatText();
        EXPECT_EQ(parsed.AsDouble(), largest);
    }
    DataItem parsed(DataItem::Float);
    ASSERT_TRUE(parsed.SetFromText(DataItem::MakeFloat(std::numeric_limits<float>::max()).FormatText()));
    EXPECT_EQ(parsed.AsFloat(), std::numeric_limits<float>::max());
    EXPECT_FALSE(parsed.SetFromText(L"1.7977e308")) << "beyond rounding is still too large";
}

TEST(DataItemSetFromText, StoresAnyTextWholeForStrings) {
    DataItem item(DataItem::String);
    ASSERT_TRUE(item.SetFromText(L"ABCDEFGHIJKLMNOPQRST"));
    EXPECT_EQ(item.text, "ABCDEFGHIJKLMNOPQRST");
    ASSERT_TRUE(item.SetFromText(L""));
    EXPECT_EQ(item.text, "");
}

TEST(DataItemSetFromText, KeepsTheDegreeSignThroughEditAndDisplay) {
    DataItem item(DataItem::String);
    ASSERT_TRUE(item.SetFromText(L"20\u00B0C"));
    EXPECT_EQ(item.FormatText(), L"20\u00B0C");
    EXPECT_EQ(item.ToWString(), L"20\u00B0C");
}

TEST(DataItemSetFromText, RefusesItemsWithoutAType) {
    EXPECT_EQ(Parse(DataItem::Unknown, L"1"), L"refused");
}

TEST(DataItemFormatText, WritesEachTypeAsText) {
    EXPECT_EQ(DataItem::MakeFloat(0.1f).FormatText(), L"0.100000001490116");
    EXPECT_EQ(DataItem::MakeUnsignedInt(4294967295u).FormatText(), L"4294967295");
    EXPECT_EQ(DataItem::MakeUnsignedShort(65535).FormatText(), L"65535");
    EXPECT_EQ(DataItem::MakeBit(true).FormatText(), L"1");
    EXPECT_EQ(DataItem::MakeByte(200).FormatText(), L"200");
    EXPECT_EQ(DataItem::MakeDouble(1.0 / 3).FormatText(), L"0.333333333333333");
    EXPECT_EQ(DataItem().FormatText(), L"?");
}

TEST(DataItemFormatText, CutsTheTextToTheBuffer) {
    wchar_t buffer[5];
    EXPECT_EQ(DataItem::MakeUnsignedInt(123456).FormatText(buffer, 5), 4u);
    EXPECT_STREQ(buffer, L"1234");
    EXPECT_EQ(DataItem::MakeBit(false).FormatText(buffer, 1), 0u);
    EXPECT_STREQ(buffer, L"");
}

TEST(DataItemToWString, UsesSixDecimalsForFloats) {
    EXPECT_EQ(DataItem::MakeFloat(0.1f).ToWString(), L"0.100000");
    EXPECT_EQ(DataItem::MakeDouble(-2.5).ToWString(), L"-2.500000");
    EXPECT_EQ(DataItem::MakeUnsignedInt(4294967295u).ToWString(), L"4294967295");
    EXPECT_EQ(DataItem().ToWString(), L"");
}

TEST(DataItemEquals, ComparesValuesOfTheSameTypeOnly) {
    EXPECT_TRUE(DataItem::MakeUnsignedShort(5).Equals(DataItem::MakeUnsignedShort(5)));
    EXPECT_FALSE(DataItem::MakeUnsignedShort(5).Equals(DataItem::MakeUnsignedShort(6)));
    EXPECT_FALSE(DataItem::MakeUnsignedShort(0).Equals(DataItem::MakeUnsignedInt(0)));
    EXPECT_TRUE(DataItem::MakeString("AB").Equals(DataItem::MakeString("AB")));
    EXPECT_FALSE(DataItem::MakeString("AB").Equals(DataItem::MakeString("AC")));
    EXPECT_TRUE(DataItem::MakeFloat(0.0f).Equals(DataItem::MakeFloat(-0.0f)));
}

TEST(DataItemEquals, NeverEqualsForBitsUnknownsAndNaNs) {
    EXPECT_FALSE(DataItem::MakeBit(true).Equals(DataItem::MakeBit(true)));
    EXPECT_FALSE(DataItem().Equals(DataItem()));
    float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(DataItem::MakeFloat(nan).Equals(DataItem::MakeFloat(nan)));
    EXPECT_FALSE(DataItem::MakeDouble(std::nan("")).Equals(DataItem::MakeDouble(std::nan(""))));
}

TEST(DataItem, ReadsAnotherTypeAsZero) {
    DataItem item = DataItem::MakeFloat(3.5f);
    EXPECT_EQ(item.AsUnsignedShort(), 0);
    EXPECT_FALSE(item.AsBit());
    EXPECT_EQ(item.AsFloat(), 3.5f);
    EXPECT_STREQ(DataItem::TypeName(DataItem::UnsignedShort), L"Unsigned Short");
    EXPECT_STREQ(DataItem::TypeName(DataItem::Byte), L"");
}
