#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Frames.h"
#include "protocol/DataMap.h"
#include "protocol/ValueEncoding.h"

namespace {
using T = DataItem;
namespace E = ValueEncoding;
}  // namespace

TEST(DataItem, SetFromTextTakesTheSameTextsOnEveryPlatformAndARefusalChangesNothing) {
    const struct {
        DataItem::Type type;
        std::wstring text;
        const wchar_t* stored;  // nullptr: refused
    } cases[] = {
        // clang-format off
        {T::UnsignedShort, L"65535", L"65535"}, {T::UnsignedShort, L"65536", nullptr},
        {T::UnsignedShort, L"12a", nullptr}, {T::UnsignedShort, L"", L"0"},
        {T::UnsignedShort, L"  +42", L"42"}, {T::UnsignedShort, L"-1", nullptr},
        {T::UnsignedShort, L" ", nullptr}, {T::Byte, L"255", L"255"}, {T::Byte, L"256", nullptr},
        {T::Bit, L"1", L"1"}, {T::Bit, L"0", L"0"}, {T::Bit, L"true", nullptr},
        {T::Bit, L" 1", nullptr}, {T::Bit, L"2", nullptr}, {T::Bit, L"", nullptr},
        {T::Bit, L"01", nullptr}, {T::Unknown, L"1", nullptr},
        // A 32-bit wcstoul's range, also where unsigned long has 64 bits; it negates.
        {T::UnsignedInt, L"4294967295", L"4294967295"}, {T::UnsignedInt, L"4294967296", nullptr},
        {T::UnsignedInt, L"99999999999999999999999", nullptr}, {T::UnsignedInt, L"7 ", nullptr},
        {T::UnsignedInt, L"-1", L"4294967295"}, {T::UnsignedInt, {L"7\0" L"8", 3}, nullptr},
        {T::Float, L"1.5", L"1.5"}, {T::Float, L"-2.5e3", L"-2500"}, {T::Float, L"1.5x", nullptr},
        {T::Float, L"0x10", L"16"}, {T::Float, L"-inf", L"-inf"}, {T::Double, L"nan", L"nan"},
        {T::Double, L"0.1", L"0.1"}, {T::Double, L"", L"0"}, {T::Double, L"1e20", L"1e+20"},
        {T::Double, L"1e50", L"1e+50"}, {T::Float, L"1e50", nullptr},  // never infinity
        {T::Double, L"1e400", nullptr}, {T::Float, L"1e-50", L"0"},
        {T::Float, L"1.7977e308", nullptr}, {T::String, L"20\u00B0C", L"20\u00B0C"},
        // clang-format on
    };
    for (const auto& c : cases) {
        DataItem item(c.type);
        bool taken = item.SetFromText(c.text);
        EXPECT_EQ(taken, c.stored != nullptr) << "type " << c.type << " '" << c.text.c_str() << "'";
        EXPECT_EQ(item.FormatText(), c.stored ? c.stored : DataItem(c.type).FormatText())
            << "type " << c.type << " '" << c.text.c_str() << "'";
    }
    // The largest values read back as they are formatted.
    for (double largest :
         {std::numeric_limits<double>::max(), -std::numeric_limits<double>::max()}) {
        DataItem parsed(T::Double);
        ASSERT_TRUE(parsed.SetFromText(DataItem::MakeDouble(largest).FormatText()));
        EXPECT_EQ(parsed.AsDouble(), largest);
    }
    DataItem parsed(T::Float);
    ASSERT_TRUE(
        parsed.SetFromText(DataItem::MakeFloat(std::numeric_limits<float>::max()).FormatText()));
    EXPECT_EQ(parsed.AsFloat(), std::numeric_limits<float>::max());
}

TEST(DataItem, FormatsInFullAndComparesValuesOfOneTypeOnly) {
    EXPECT_EQ(DataItem::MakeFloat(0.1f).FormatText(), L"0.100000001490116");
    EXPECT_EQ(DataItem::MakeDouble(1.0 / 3).FormatText(), L"0.333333333333333");
    EXPECT_EQ(DataItem().FormatText(), L"?");
    wchar_t buffer[5];
    EXPECT_EQ(DataItem::MakeUnsignedInt(123456).FormatText(buffer, 5), 4u);
    EXPECT_STREQ(buffer, L"1234");
    EXPECT_EQ(DataItem::MakeFloat(0.1f).ToWString(), L"0.100000");
    EXPECT_TRUE(DataItem::MakeUnsignedShort(5).Equals(DataItem::MakeUnsignedShort(5)));
    EXPECT_FALSE(DataItem::MakeUnsignedShort(0).Equals(DataItem::MakeUnsignedInt(0)));
    EXPECT_FALSE(DataItem::MakeString("AB").Equals(DataItem::MakeString("AC")));
    EXPECT_TRUE(DataItem::MakeFloat(0.0f).Equals(DataItem::MakeFloat(-0.0f)));
    EXPECT_FALSE(DataItem::MakeBit(true).Equals(DataItem::MakeBit(true))) << "bits always change";
    EXPECT_FALSE(DataItem::MakeDouble(std::nan("")).Equals(DataItem::MakeDouble(std::nan(""))));
}

TEST(ValueEncoding, EncodesAndDecodesEachCodeInItsWireOrder) {
    const struct {
        uint8_t encoding;
        DataItem item;
        Bytes wire;
    } cases[] = {
        {E::Byte, DataItem::MakeByte(0x7F), {0x7F}},
        {E::UnsignedShortHighFirst, DataItem::MakeUnsignedShort(0x04D2), {0x04, 0xD2}},
        {E::UnsignedShortLowFirst, DataItem::MakeUnsignedShort(0x04D2), {0xD2, 0x04}},
        {E::FloatABCD, DataItem::MakeFloat(10.0f), {0x41, 0x20, 0x00, 0x00}},
        {E::FloatCDAB, DataItem::MakeFloat(10.0f), {0x00, 0x00, 0x41, 0x20}},
        {E::FloatDCBA, DataItem::MakeFloat(10.0f), {0x00, 0x00, 0x20, 0x41}},
        {E::FloatBADC, DataItem::MakeFloat(10.0f), {0x20, 0x41, 0x00, 0x00}},
        {E::DoubleHighFirst, DataItem::MakeDouble(1.0), {0x3F, 0xF0, 0, 0, 0, 0, 0, 0}},
        {E::DoubleLowFirst, DataItem::MakeDouble(1.0), {0, 0, 0, 0, 0, 0, 0xF0, 0x3F}},
        {E::UnsignedIntABCD, DataItem::MakeUnsignedInt(0x11223344), {0x11, 0x22, 0x33, 0x44}},
        {E::UnsignedIntCDAB, DataItem::MakeUnsignedInt(0x11223344), {0x33, 0x44, 0x11, 0x22}},
        {E::UnsignedIntDCBA, DataItem::MakeUnsignedInt(0x11223344), {0x44, 0x33, 0x22, 0x11}},
        {E::UnsignedIntBADC, DataItem::MakeUnsignedInt(0x11223344), {0x22, 0x11, 0x44, 0x33}},
        {E::String8, DataItem::MakeString("AB"), {'A', 'B', 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        Bytes out;
        EncodeValue(c.encoding, c.item, out);
        EXPECT_EQ(out, c.wire) << "encoding " << int(c.encoding) << " gave " << ToHex(out);
        DataItem back = DecodeValue(c.encoding, c.wire);
        EXPECT_EQ(back.type, c.item.type) << int(c.encoding);
        EXPECT_EQ(back.FormatText(), c.item.FormatText()) << int(c.encoding);
        // An item of another type is sent as zeros of the encoding's width.
        out.clear();
        EncodeValue(c.encoding, DataItem::MakeBit(true), out);
        EXPECT_EQ(out, Bytes(c.wire.size(), 0)) << int(c.encoding);
    }
    Bytes out;
    EncodeValue(E::String8, DataItem::MakeString("ABCDEFGHIJ"), out);
    EXPECT_EQ(out, (Bytes{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'})) << "cut to its 8 bytes";
    EXPECT_EQ(DecodeValue(E::String8, Bytes{0, 'B', 'C', 0, 0, 0, 0, 0}).Text(), "");
    EXPECT_TRUE(DecodeValue(E::Bit, Bytes{0xFF}).AsBit());
    EXPECT_FALSE(DecodeValue(E::Bit, Bytes{0xFE}).AsBit());
    EXPECT_EQ(DecodeValue(16, Bytes{1, 2, 3, 4}).type, DataItem::Unknown);
    EXPECT_EQ(DecodeValue(E::UnsignedIntABCD, Bytes{0x12}).AsUnsignedInt(), 0x12000000u)
        << "missing bytes read as zeros";
}

TEST(DataMap, UpdateItemStoresOnlyIntoMappedAddressesAndCountsATypeChangeAsAChange) {
    DataMap map;
    map.Insert(2, DataItem::MakeUnsignedInt(0));
    map.Insert(3, DataItem::MakeBit(true));
    map.Find(3)->ddeLink = true;
    EXPECT_TRUE(map.UpdateItem(2, DataItem::MakeUnsignedShort(0)))
        << "a stale 32-bit value must not stay because the new 16-bit value is zero";
    EXPECT_FALSE(map.UpdateItem(2, DataItem::MakeUnsignedShort(0)));
    EXPECT_FALSE(map.UpdateItem(8, DataItem::MakeUnsignedShort(6)));
    EXPECT_FALSE(map.Contains(8)) << "an unmapped address is never added";
    EXPECT_TRUE(map.UpdateItem(3, DataItem::MakeBit(true))) << "bits are always stored";
    EXPECT_TRUE(map.Find(3)->ddeLink);
    EXPECT_FALSE(map.Insert(3, DataItem())) << "Insert leaves an existing entry alone";
}

TEST(Crc16, ContinuesFromARunningValue) {
    const Bytes text = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(Crc16(Crc16(0xFFFF, text.data(), 4), text.data() + 4, 5), 0x4B37) << "CRC-16/MODBUS";
    EXPECT_EQ(Crc16(0x1234, text.data(), -5), 0x1234);
}
