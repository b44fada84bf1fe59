#include <gtest/gtest.h>

#include "Frames.h"
#include "protocol/ModbusPacket.h"
#include "protocol/ProtocolTable.h"

namespace {

namespace P = PresetId;
DataItem U16(uint16_t v) { return DataItem::MakeUnsignedShort(v); }
DataItem Bit(bool on) { return DataItem::MakeBit(on); }

struct Request {
    uint8_t protocol, slave, function;
    uint16_t start, size;
    int32_t preset;
    std::vector<std::pair<uint16_t, DataItem>> values = {};  // the data map's, for a write
    uint16_t transaction = 1;
};
constexpr uint8_t Tcp = Protocol::Tcp, Rtu = Protocol::Rtu;

// Built as the masters build a request: header fields, the poll's set-up, the
// write values by address, then BuildRequest.
ModbusPacket Build(const Request& r, bool expectBuilt = true) {
    ModbusPacket packet(r.protocol, 1);
    packet.transactionId = r.transaction;
    packet.address = r.slave;
    packet.function = r.function;
    packet.SetFromPoll(MadePoll(r.function, r.start, r.size, r.preset));
    for (uint16_t address : packet.WriteAddresses()) {
        packet.items.Set(address, DataItem());
        for (const auto& [at, value] : r.values)
            if (at == address) packet.items.Set(address, value);
    }
    const BuildError checked = packet.CheckRequest();
    EXPECT_EQ(packet.BuildRequest(r.protocol), expectBuilt) << BuildErrorText(packet.buildError);
    EXPECT_EQ(packet.buildError, checked) << "CheckRequest tells what BuildRequest finds";
    return packet;
}

std::vector<std::pair<uint16_t, DataItem>> Coils0x1CD() {  // coils 0x13.. as CD 01
    std::vector<std::pair<uint16_t, DataItem>> coils;
    for (uint16_t i = 0; i < 10; ++i) coils.emplace_back(0x13 + i, Bit((0x01CDu >> i) & 1));
    return coils;
}

}  // namespace

// The reads and writes of functions 1 to 16 are also compared byte for byte
// with what libmodbus's client sends, in both framings (the peer tests).
TEST(BuildRequest, WritesEveryRequestLayoutInBothFramings) {
    const auto U32 = DataItem::MakeUnsignedInt;
    const auto F32 = DataItem::MakeFloat;
    const struct {
        const char* name;
        Request request;  // framing, slave, function, start, size, preset, values
        Bytes bytes;
    } cases[] = {
        // clang-format off
        {"3 over MBAP", {Tcp, 1, 3, 0x10, 2, P::ShortUint, {}, 0x0102},
         {0x01, 0x02, 0x00, 0x00, 0x00, 0x06,    // transaction, protocol 0, length 6
          0x01, 0x03, 0x00, 0x10, 0x00, 0x02}},  // slave, function, start, count
        {"3 over RTU", {Rtu, 1, 3, 0, 1, P::ShortUint}, {1, 3, 0, 0, 0, 1, 0x84, 0x0A}},
        {"5 on", {Rtu, 1, 5, 10, 1, P::Bit, {{10, Bit(true)}}},
         {0x01, 0x05, 0x00, 0x0A, 0xFF, 0x00, 0xAC, 0x38}},
        {"5 off", {Tcp, 1, 5, 10, 1, P::Bit, {{10, Bit(false)}}}, WithMbap({1, 5, 0, 10, 0, 0})},
        {"5, no bit", {Tcp, 1, 5, 10, 1, P::Bit, {{10, U16(1)}}}, WithMbap({1, 5, 0, 10, 0, 0})},
        {"15, coils 20 to 29 of the protocol's own example",
         {Rtu, 0x11, 15, 0x13, 10, P::Bit, Coils0x1CD()},
         {0x11, 0x0F, 0x00, 0x13, 0x00, 0x0A,  // slave, function, start, 10 coils
          0x02, 0xCD, 0x01, 0xBF, 0x0B}},      // 2 bytes, coils, CRC
        {"16", {Rtu, 1, 16, 1, 2, P::ShortUint, {{1, U16(0x000A)}, {2, U16(0x0102)}}},
         {0x01, 0x10, 0x00, 0x01, 0x00, 0x02, 0x04,  // start, 2 registers, 4 bytes
          0x00, 0x0A, 0x01, 0x02, 0x92, 0x30}},      // values, CRC
        {"16 LONG UINT, unmapped as zeros",
         {Tcp, 1, 16, 100, 3, P::LongUint, {{100, U32(1)}, {102, U32(0x01020304)}}},
         {0x00, 0x01, 0x00, 0x00, 0x00, 0x13,                   // MBAP, length 7 + 12 = 19
          0x01, 0x10, 0x00, 0x64, 0x00, 0x06, 0x0C,             // 6 registers, 12 bytes
          0, 0, 0, 1, 0x01, 0x02, 0x03, 0x04, 0, 0, 0, 0}},     // 100, 102, 104
        {"16 ASCII 8 counts items and pads",
         {Tcp, 1, 16, 5, 1, P::Ascii8, {{5, DataItem::MakeString("AB")}}},
         WithMbap({0x01, 0x10, 0x00, 0x05, 0x00, 0x01, 0x08, 'A', 'B', 0, 0, 0, 0, 0, 0})},
        {"16 in poll order past 65535",
         {Tcp, 1, 16, 65534, 3, P::ShortUint, {{65534, U16(1)}, {65535, U16(2)}, {0, U16(3)}}},
         WithMbap({0x01, 0x10, 0xFF, 0xFE, 0x00, 0x03, 0x06, 0, 1, 0, 2, 0, 3})},
        {"15 past 65535: coil 65535 is item 0",
         {Tcp, 1, 15, 65535, 2, P::Bit, {{65535, Bit(true)}}},
         WithMbap({0x01, 0x0F, 0xFF, 0xFF, 0x00, 0x02, 0x01, 0x01})},
        {"65: a 4-byte start, a 1-byte item count", {Rtu, 1, 65, 300, 5, P::Float},
         {0x01, 0x41, 0x00, 0x00, 0x01, 0x2C, 0x05, 0x89, 0xD2}},
        {"67", {Tcp, 1, 67, 7, 3, P::Double}, WithMbap({0x01, 0x43, 0x00, 0x00, 0x00, 0x07, 0x03})},
        {"66 without a byte count", {Tcp, 1, 66, 2, 2, P::Float, {{2, F32(1.0f)}, {3, F32(-2.0f)}}},
         WithMbap({0x01, 0x42, 0x00, 0x00, 0x00, 0x02, 0x02,               // start 2, 2 items
                   0x3F, 0x80, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00})},     // 1.0, -2.0
        {"68", {Rtu, 1, 68, 9, 1, P::Double, {{9, DataItem::MakeDouble(1.0)}}},
         WithCrc({0x01, 0x44, 0x00, 0x00, 0x00, 0x09, 0x01, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0})},
        {"an unknown protocol id: no framing", {7, 1, 3, 1, 2, P::ShortUint}, {1, 3, 0, 1, 0, 2}},
        // clang-format on
    };
    for (const auto& c : cases) {
        Bytes built = Build(c.request).bytes;
        EXPECT_EQ(built, c.bytes) << "function " << c.name << ": " << ToHex(built);
    }
}

TEST(BuildRequest, CountsRegistersOrItemsAsThePresetSays) {
    const std::pair<int32_t, uint16_t> cases[] = {
        {P::ShortUint, 10},     {P::RosemountFloat, 20}, {P::PhilipsFloat, 20}, {P::LongUint, 20},
        {P::PhilipsDouble, 40}, {P::Float, 10},          {P::Double, 10},       {P::Ascii8, 10}};
    for (auto [preset, count] : cases) {
        Bytes bytes = Build({Tcp, 1, 3, 100, 10, preset}).bytes;
        ASSERT_EQ(bytes.size(), 12u);
        EXPECT_EQ(bytes[10] << 8 | bytes[11], count) << "preset " << preset;
    }
}

TEST(BuildRequest, RefusesAFieldThatCannotHoldItsValueAndSendsOnlyTheHeader) {
    const struct {
        uint8_t function;
        uint16_t size;
        int32_t preset;
        BuildError error;
    } cases[] = {
        {16, 128, P::ShortUint, BuildError::ByteCountTooLarge},
        {16, 64, P::LongUint, BuildError::ByteCountTooLarge},
        {15, 2041, P::Bit, BuildError::ByteCountTooLarge},
        {65, 256, P::Float, BuildError::ItemCountTooLarge},
        {66, 256, P::Float, BuildError::ItemCountTooLarge},
        {67, 256, P::Double, BuildError::ItemCountTooLarge},
        {68, 256, P::Double, BuildError::ItemCountTooLarge},
        {3, 20000, P::PhilipsDouble, BuildError::CountTooLarge},
        {6, 1, P::LongUint, BuildError::PresetNotSixteenBit},
        {6, 1, P::Float, BuildError::PresetNotSixteenBit},
        {6, 1, P::Bit, BuildError::PresetNotSixteenBit},
        {15, 8, P::ShortUint, BuildError::PresetDoesNotSuit},
        {16, 8, P::Bit, BuildError::PresetDoesNotSuit},
        {66, 2, P::Bit, BuildError::PresetDoesNotSuit},
    };
    for (const auto& c : cases) {
        ModbusPacket packet = Build({Tcp, 1, c.function, 0, c.size, c.preset}, false);
        EXPECT_EQ(packet.buildError, c.error) << "function " << int(c.function) << " x" << c.size;
        EXPECT_EQ(packet.bytes, (Bytes{0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, c.function}))
            << "only header, slave and function: " << ToHex(packet.bytes);
    }
    // The largest of each is still sent.
    EXPECT_EQ(Build({Tcp, 1, 16, 0, 127, P::ShortUint}).bytes.size(), 6u + 7u + 254u);
    EXPECT_EQ(Build({Tcp, 1, 15, 0, 2040, P::Bit}).bytes[12], 255);
    EXPECT_EQ(Build({Tcp, 1, 65, 0, 255, P::Float}).bytes.back(), 255);
    EXPECT_STREQ(BuildErrorText(BuildError::ByteCountTooLarge),
                 L"more than 255 data bytes in one write");
}

TEST(BuildRequest, RefusesAnUnsupportedFunctionAfterItsHeaderAndAPacketNotEmpty) {
    ModbusPacket packet(Protocol::Tcp, 1);
    packet.transactionId = 9;
    packet.address = 1;
    packet.function = 7;
    EXPECT_FALSE(packet.BuildRequest(Protocol::Tcp));
    EXPECT_EQ(packet.buildError, BuildError::UnsupportedFunction);
    EXPECT_EQ(packet.bytes, (Bytes{0x00, 0x09, 0x00, 0x00, 0x00, 0x00, 0x01, 0x07}));
    EXPECT_FALSE(packet.BuildRequest(Protocol::Tcp));
    EXPECT_EQ(packet.buildError, BuildError::NotEmpty);
}
