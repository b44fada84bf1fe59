#include <gtest/gtest.h>

#include <map>

#include "Frames.h"
#include "protocol/ModbusPacket.h"
#include "protocol/ProtocolTable.h"

namespace {

struct Request {
    uint8_t protocol = Protocol::Tcp;
    uint16_t transaction = 1;
    uint8_t slave = 1;
    uint8_t function = 3;
    uint16_t start = 0;
    uint16_t size = 1;
    int32_t preset = PresetId::ShortUint;
    std::map<uint16_t, DataItem> values = {};  // the data map's values for a write
};

// Builds a request the way the masters do: transaction, slave, function, the
// poll's set-up, the write values by address, then BuildRequest.
ModbusPacket Build(const Request& r) {
    ModbusPacket packet(r.protocol, 1);
    packet.transactionId = r.transaction;
    packet.address = r.slave;
    packet.function = r.function;
    Poll poll;
    MakePoll(r.function, r.start, r.size, r.preset, poll);
    packet.SetFromPoll(poll);
    for (uint16_t address : packet.WriteAddresses()) {
        auto value = r.values.find(address);
        packet.items[address] = value != r.values.end() ? value->second : DataItem();
    }
    EXPECT_TRUE(packet.BuildRequest(r.protocol)) << BuildErrorText(packet.buildError);
    return packet;
}

Bytes BuildBytes(const Request& r) { return Build(r).bytes; }

DataItem U16(uint16_t v) { return DataItem::MakeUnsignedShort(v); }
DataItem On() { return DataItem::MakeBit(true); }

}  // namespace

TEST(BuildRequest, FramesAReadWithTheMbapHeader) {
    Request r{.transaction = 0x0102, .function = 3, .start = 0x0010, .size = 2};
    Bytes expected = {0x01, 0x02,   // transaction
                      0x00, 0x00,   // protocol 0
                      0x00, 0x06,   // length: unit id, function and 4 bytes
                      0x01,         // slave
                      0x03,         // function
                      0x00, 0x10,   // start
                      0x00, 0x02};  // count
    EXPECT_EQ(BuildBytes(r), expected) << ToHex(BuildBytes(r));
}

TEST(BuildRequest, FramesAReadWithTheRtuCrcLowByteFirst) {
    Request r{.protocol = Protocol::Rtu, .function = 3, .start = 0, .size = 1};
    Bytes expected = {0x01, 0x03, 0x00, 0x00,
                      0x00, 0x01, 0x84, 0x0A};  // CRC 0x0A84, low byte first
    EXPECT_EQ(BuildBytes(r), expected) << ToHex(BuildBytes(r));
}

TEST(BuildRequest, SendsTheSameReadPduForEveryReadFunction) {
    for (uint8_t function : {1, 2, 3, 4}) {
        int32_t preset = function <= 2 ? PresetId::Bit : PresetId::ShortUint;
        Request r{.protocol = Protocol::Rtu,
                  .slave = 0x11,
                  .function = function,
                  .start = 0x0013,
                  .size = 37,
                  .preset = preset};
        Bytes pdu = {0x11, function, 0x00, 0x13, 0x00, 0x25};
        EXPECT_EQ(BuildBytes(r), WithCrc(pdu)) << "function " << int(function);
    }
}

TEST(BuildRequest, CountsRegistersOrItemsAsThePresetSays) {
    const struct {
        int32_t preset;
        uint16_t count;
    } cases[] = {{PresetId::ShortUint, 10},     {PresetId::RosemountFloat, 20},
                 {PresetId::PhilipsFloat, 20},  {PresetId::LongUint, 20},
                 {PresetId::PhilipsDouble, 40}, {PresetId::Float, 10},
                 {PresetId::Double, 10},        {PresetId::Ascii8, 10}};
    for (const auto& c : cases) {
        Bytes bytes = BuildBytes({.function = 3, .start = 100, .size = 10, .preset = c.preset});
        ASSERT_EQ(bytes.size(), 12u);
        EXPECT_EQ(bytes[10] << 8 | bytes[11], c.count) << "preset " << c.preset;
    }
}

TEST(BuildRequest, WritesASingleCoilOnlyForABitThatIsOn) {
    Bytes on = BuildBytes({.protocol = Protocol::Rtu,
                           .function = 5,
                           .start = 10,
                           .preset = PresetId::Bit,
                           .values = {{10, On()}}});
    EXPECT_EQ(on, (Bytes{0x01, 0x05, 0x00, 0x0A, 0xFF, 0x00, 0xAC, 0x38})) << ToHex(on);
    for (const DataItem& off : {DataItem::MakeBit(false), U16(1), DataItem()}) {
        Bytes bytes = BuildBytes(
            {.function = 5, .start = 10, .preset = PresetId::Bit, .values = {{10, off}}});
        EXPECT_EQ(Bytes(bytes.end() - 2, bytes.end()), (Bytes{0x00, 0x00})) << ToHex(bytes);
    }
}

TEST(BuildRequest, WritesASingleRegister) {
    Bytes bytes = BuildBytes({.function = 6, .start = 1, .values = {{1, U16(1234)}}});
    Bytes expected = {0x00, 0x01, 0x00, 0x00, 0x00, 0x06,  // MBAP
                      0x01, 0x06,                          // slave, function
                      0x00, 0x01,                          // address
                      0x04, 0xD2};                         // 1234
    EXPECT_EQ(bytes, expected) << ToHex(bytes);
}

TEST(BuildRequest, PacksCoilsEightToAByteFirstCoilInBitZero) {
    // Modbus Application Protocol V1.1b3, 6.11: coils 20 to 29 as CD 01.
    std::map<uint16_t, DataItem> coils;
    for (uint16_t i = 0; i < 10; ++i)
        coils[static_cast<uint16_t>(0x13 + i)] = DataItem::MakeBit(((0x01CDu >> i) & 1) != 0);
    Bytes bytes = BuildBytes({.protocol = Protocol::Rtu,
                              .slave = 0x11,
                              .function = 15,
                              .start = 0x13,
                              .size = 10,
                              .preset = PresetId::Bit,
                              .values = coils});
    Bytes expected = {0x11, 0x0F,   // slave, function
                      0x00, 0x13,   // start
                      0x00, 0x0A,   // 10 coils
                      0x02,         // byte count
                      0xCD, 0x01,   // coils
                      0xBF, 0x0B};  // CRC
    EXPECT_EQ(bytes, expected) << ToHex(bytes);

    Bytes firstAndLast = BuildBytes({.function = 15,
                                     .start = 0,
                                     .size = 10,
                                     .preset = PresetId::Bit,
                                     .values = {{0, On()}, {9, On()}}});
    EXPECT_EQ(Bytes(firstAndLast.begin() + 10, firstAndLast.end()),
              (Bytes{0x00, 0x0A, 0x02, 0x01, 0x02}))
        << ToHex(firstAndLast);
}

TEST(BuildRequest, WritesRegistersWithCountByteCountAndData) {
    Bytes bytes = BuildBytes({.protocol = Protocol::Rtu,
                              .function = 16,
                              .start = 1,
                              .size = 2,
                              .values = {{1, U16(0x000A)}, {2, U16(0x0102)}}});
    Bytes expected = {0x01, 0x10, 0x00, 0x01,  // slave, function, start
                      0x00, 0x02, 0x04,        // 2 registers, 4 bytes
                      0x00, 0x0A, 0x01, 0x02,  // values
                      0x92, 0x30};             // CRC
    EXPECT_EQ(bytes, expected) << ToHex(bytes);
}

TEST(BuildRequest, WritesLongUintsAsTwoRegistersEach) {
    Bytes bytes = BuildBytes({.function = 16,
                              .start = 100,
                              .size = 3,
                              .preset = PresetId::LongUint,
                              .values = {{100, DataItem::MakeUnsignedInt(1)},
                                         {102, DataItem::MakeUnsignedInt(0x01020304)}}});
    Bytes expected = {0x00, 0x01, 0x00, 0x00, 0x00, 0x13,  // MBAP, length 7 + 12 = 19
                      0x01, 0x10, 0x00, 0x64,              // slave, function, start
                      0x00, 0x06, 0x0C,                    // 6 registers, 12 bytes
                      0x00, 0x00, 0x00, 0x01,              // item at 100
                      0x01, 0x02, 0x03, 0x04,              // item at 102
                      0x00, 0x00, 0x00, 0x00};             // 104 is not mapped: zeros
    EXPECT_EQ(bytes, expected) << ToHex(bytes);
}

TEST(BuildRequest, CountsItemsForAsciiWritesAndPadsTheText) {
    Bytes bytes = BuildBytes({.function = 16,
                              .start = 5,
                              .size = 1,
                              .preset = PresetId::Ascii8,
                              .values = {{5, DataItem::MakeString("AB")}}});
    EXPECT_EQ(Bytes(bytes.begin() + 10, bytes.end()),
              (Bytes{0x00, 0x01, 0x08, 'A', 'B', 0, 0, 0, 0, 0, 0}))
        << ToHex(bytes);
}

TEST(BuildRequest, SendsTheDanielReadsWithAFourByteStartAndOneByteCount) {
    Bytes bytes = BuildBytes({.protocol = Protocol::Rtu,
                              .function = 65,
                              .start = 300,
                              .size = 5,
                              .preset = PresetId::Float});
    Bytes expected = {0x01, 0x41,              // slave, function 65
                      0x00, 0x00, 0x01, 0x2C,  // start 300 in 32 bits
                      0x05,                    // 5 items
                      0x89, 0xD2};             // CRC
    EXPECT_EQ(bytes, expected) << ToHex(bytes);
    Bytes doubles = BuildBytes({.function = 67, .start = 7, .size = 3, .preset = PresetId::Double});
    EXPECT_EQ(Bytes(doubles.begin() + 6, doubles.end()),
              (Bytes{0x01, 0x43, 0x00, 0x00, 0x00, 0x07, 0x03}))
        << ToHex(doubles);
}

TEST(BuildRequest, SendsTheDanielWritesWithoutAByteCount) {
    Bytes floats =
        BuildBytes({.function = 66,
                    .start = 2,
                    .size = 2,
                    .preset = PresetId::Float,
                    .values = {{2, DataItem::MakeFloat(1.0f)}, {3, DataItem::MakeFloat(-2.0f)}}});
    EXPECT_EQ(Bytes(floats.begin() + 8, floats.end()), (Bytes{0x00, 0x00, 0x00, 0x02,    // start
                                                              0x02,                      // 2 items
                                                              0x3F, 0x80, 0x00, 0x00,    // 1.0
                                                              0xC0, 0x00, 0x00, 0x00}))  // -2.0
        << ToHex(floats);
    Bytes doubles = BuildBytes({.protocol = Protocol::Rtu,
                                .function = 68,
                                .start = 9,
                                .size = 1,
                                .preset = PresetId::Double,
                                .values = {{9, DataItem::MakeDouble(1.0)}}});
    EXPECT_EQ(doubles,
              WithCrc({0x01, 0x44, 0x00, 0x00, 0x00, 0x09, 0x01, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0}))
        << ToHex(doubles);
}

TEST(BuildRequest, SendsWriteItemsInPollOrderWhenAddressesWrapPast65535) {
    Bytes bytes = BuildBytes({.function = 16,
                              .start = 65534,
                              .size = 3,
                              .values = {{65534, U16(1)}, {65535, U16(2)}, {0, U16(3)}}});
    EXPECT_EQ(Bytes(bytes.begin() + 13, bytes.end()), (Bytes{0x00, 0x01, 0x00, 0x02, 0x00, 0x03}))
        << ToHex(bytes);
    Bytes coils = BuildBytes({.function = 15,
                              .start = 65535,
                              .size = 2,
                              .preset = PresetId::Bit,
                              .values = {{65535, On()}}});
    EXPECT_EQ(coils.back(), 0x01) << "coil 65535 is item 0, in bit 0";
}

TEST(BuildRequest, SendsNoFramingForAnUnknownProtocolId) {
    EXPECT_EQ(BuildBytes({.protocol = 7, .function = 3, .start = 1, .size = 2}),
              (Bytes{0x01, 0x03, 0x00, 0x01, 0x00, 0x02}));
}

// ---- Refusals: a field that cannot hold its value refuses the request.

namespace {

BuildError Refusal(uint8_t function, uint16_t size, int32_t preset) {
    ModbusPacket packet(Protocol::Tcp, 1);
    packet.function = function;
    Poll poll;
    MakePoll(function, 0, size, preset, poll);
    packet.SetFromPoll(poll);
    BuildError checked = packet.CheckRequest();
    EXPECT_FALSE(packet.BuildRequest(Protocol::Tcp));
    EXPECT_EQ(packet.buildError, checked);
    EXPECT_EQ(packet.bytes.size(), 8u)
        << "only header, slave and function: " << ToHex(packet.bytes);
    return packet.buildError;
}

}  // namespace

TEST(BuildRequestRefuses, MoreThan255DataBytesInARegisterOrCoilWrite) {
    EXPECT_EQ(Refusal(16, 128, PresetId::ShortUint), BuildError::ByteCountTooLarge);
    EXPECT_EQ(Refusal(16, 64, PresetId::LongUint), BuildError::ByteCountTooLarge);
    EXPECT_EQ(Refusal(15, 2041, PresetId::Bit), BuildError::ByteCountTooLarge);
    EXPECT_EQ(Build({.function = 16, .size = 127}).bytes.size(), 6u + 7u + 254u);
    EXPECT_EQ(Build({.function = 15, .size = 2040, .preset = PresetId::Bit}).bytes[12], 255);
}

TEST(BuildRequestRefuses, MoreThan255ItemsInADanielRequest) {
    for (uint8_t function : {65, 66, 67, 68})
        EXPECT_EQ(Refusal(function, 256, PresetId::Float), BuildError::ItemCountTooLarge)
            << int(function);
    EXPECT_EQ(Build({.function = 65, .size = 255, .preset = PresetId::Float}).bytes.back(), 255);
}

TEST(BuildRequestRefuses, ARegisterCountBeyond16Bits) {
    EXPECT_EQ(Refusal(3, 20000, PresetId::PhilipsDouble), BuildError::CountTooLarge);
}

TEST(BuildRequestRefuses, ASingleRegisterWriteOfAnythingButSixteenBits) {
    EXPECT_EQ(Refusal(6, 1, PresetId::LongUint), BuildError::PresetNotSixteenBit);
    EXPECT_EQ(Refusal(6, 1, PresetId::Float), BuildError::PresetNotSixteenBit);
    EXPECT_EQ(Refusal(6, 1, PresetId::Bit), BuildError::PresetNotSixteenBit);
}

TEST(BuildRequestRefuses, WritesWhoseFormatDoesNotSuitTheFunction) {
    EXPECT_EQ(Refusal(15, 8, PresetId::ShortUint), BuildError::PresetDoesNotSuit);
    EXPECT_EQ(Refusal(16, 8, PresetId::Bit), BuildError::PresetDoesNotSuit);
    EXPECT_EQ(Refusal(66, 2, PresetId::Bit), BuildError::PresetDoesNotSuit);
}

TEST(BuildRequestRefuses, AnUnsupportedFunctionAfterItsHeader) {
    ModbusPacket packet(Protocol::Tcp, 1);
    packet.transactionId = 9;
    packet.address = 1;
    packet.function = 7;
    EXPECT_FALSE(packet.BuildRequest(Protocol::Tcp));
    EXPECT_EQ(packet.buildError, BuildError::UnsupportedFunction);
    EXPECT_EQ(packet.bytes, (Bytes{0x00, 0x09, 0x00, 0x00, 0x00, 0x00, 0x01, 0x07}));
    EXPECT_FALSE(packet.BuildRequest(Protocol::Tcp));
    EXPECT_EQ(packet.buildError, BuildError::NotEmpty);
    EXPECT_STREQ(BuildErrorText(BuildError::ByteCountTooLarge),
                 L"more than 255 data bytes in one write");
}
