#include <gtest/gtest.h>

#include "Frames.h"
#include "protocol/ValueEncoding.h"

namespace E = ValueEncoding;

TEST(DecodeValue, AssemblesFloatsInEachWireOrder) {
    const struct {
        uint8_t encoding;
        Bytes wire;
    } cases[] = {{E::FloatABCD, {0x41, 0x20, 0x00, 0x00}},
                 {E::FloatCDAB, {0x00, 0x00, 0x41, 0x20}},
                 {E::FloatDCBA, {0x00, 0x00, 0x20, 0x41}},
                 {E::FloatBADC, {0x20, 0x41, 0x00, 0x00}}};
    for (const auto& c : cases) {
        DataItem item = DecodeValue(c.encoding, c.wire);
        EXPECT_EQ(item.type, DataItem::Float) << int(c.encoding);
        EXPECT_EQ(item.AsFloat(), 10.0f) << int(c.encoding) << ": " << ToHex(c.wire);
    }
}

TEST(DecodeValue, AssemblesUnsignedIntsInEachWireOrder) {
    const Bytes wire = {0x11, 0x22, 0x33, 0x44};
    EXPECT_EQ(DecodeValue(E::UnsignedIntABCD, wire).AsUnsignedInt(), 0x11223344u);
    EXPECT_EQ(DecodeValue(E::UnsignedIntCDAB, wire).AsUnsignedInt(), 0x33441122u);
    EXPECT_EQ(DecodeValue(E::UnsignedIntDCBA, wire).AsUnsignedInt(), 0x44332211u);
    EXPECT_EQ(DecodeValue(E::UnsignedIntBADC, wire).AsUnsignedInt(), 0x22114433u);
}

TEST(DecodeValue, ReadsBitsBytesShortsAndDoubles) {
    EXPECT_TRUE(DecodeValue(E::Bit, Bytes{0xFF}).AsBit());
    EXPECT_FALSE(DecodeValue(E::Bit, Bytes{0xFE}).AsBit());
    EXPECT_EQ(DecodeValue(E::Byte, Bytes{0xAB}).AsByte(), 0xAB);
    EXPECT_EQ(DecodeValue(E::UnsignedShortHighFirst, Bytes{0x12, 0x34}).AsUnsignedShort(), 0x1234);
    EXPECT_EQ(DecodeValue(E::UnsignedShortLowFirst, Bytes{0x12, 0x34}).AsUnsignedShort(), 0x3412);
    const Bytes one = {0x3F, 0xF0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(DecodeValue(E::DoubleHighFirst, one).AsDouble(), 1.0);
    EXPECT_EQ(DecodeValue(E::DoubleLowFirst, Bytes(one.rbegin(), one.rend())).AsDouble(), 1.0);
}

TEST(DecodeValue, ReadsTextsUpToTheFirstZeroByte) {
    EXPECT_EQ(DecodeValue(E::String8, Bytes{'A', 'B', 0, 0, 0, 0, 0, 0}).text, "AB");
    EXPECT_EQ(DecodeValue(E::String8, Bytes{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}).text,
              "ABCDEFGH");
    EXPECT_EQ(DecodeValue(E::String8, Bytes{0, 'B', 'C', 0, 0, 0, 0, 0}).text, "");
}

TEST(DecodeValue, GivesUnknownForCodesOutsideTheTableAndZerosForMissingBytes) {
    for (int code : {0, 16, 255}) {
        DataItem item = DecodeValue(static_cast<uint8_t>(code), Bytes{1, 2, 3, 4});
        EXPECT_EQ(item.type, DataItem::Unknown) << code;
    }
    EXPECT_EQ(DecodeValue(E::UnsignedIntABCD, Bytes{0x12}).AsUnsignedInt(), 0x12000000u);
}

TEST(EncodeValue, WritesEachEncodingInItsWireOrder) {
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
        {E::String8, DataItem::MakeString("ABCDEFGHIJ"), {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}},
        {0, DataItem::MakeUnsignedShort(0x0102), {0x01, 0x02}},
    };
    for (const auto& c : cases) {
        Bytes out;
        EncodeValue(c.encoding, c.item, out);
        EXPECT_EQ(out, c.wire) << "encoding " << int(c.encoding) << " gave " << ToHex(out);
    }
}

TEST(EncodeValue, SendsZerosOfTheEncodingsWidthForAnItemOfAnotherType) {
    const struct {
        uint8_t encoding;
        size_t width;
    } cases[] = {{E::UnsignedShortHighFirst, 2}, {E::FloatABCD, 4}, {E::DoubleLowFirst, 8},
                 {E::UnsignedIntABCD, 4},        {E::String8, 8},   {E::Byte, 1}};
    for (const auto& c : cases) {
        Bytes out;
        EncodeValue(c.encoding, DataItem::MakeBit(true), out);
        EXPECT_EQ(out, Bytes(c.width, 0)) << "encoding " << int(c.encoding);
    }
}

TEST(EncodeValue, RoundTripsThroughDecodeValueForEveryEncoding) {
    for (uint8_t code = E::Byte; code <= E::String8; ++code) {
        DataItem item = DecodeValue(code, Bytes{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0x01});
        Bytes out;
        EncodeValue(code, item, out);
        EXPECT_EQ(DecodeValue(code, out).FormatText(), item.FormatText()) << int(code);
        EXPECT_EQ(out.size(), ByteCountForEncoding(code, 1)) << int(code);
    }
}
