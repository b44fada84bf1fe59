#include <gtest/gtest.h>

#include <cmath>

#include "Frames.h"
#include "protocol/ModbusPacket.h"
#include "protocol/ProtocolTable.h"

namespace {

Poll MakeTestPoll(uint8_t function, uint16_t start, uint16_t size, int32_t preset) {
    Poll poll;
    MakePoll(function, start, size, preset, poll);
    return poll;
}

// Decodes a whole reply from slave 1 to the given poll.
DecodedReply Decode(uint8_t protocol, const Bytes& frame, const Poll& poll,
                    ModbusPacket* out = nullptr) {
    ModbusPacket packet(protocol, 0);
    packet.bytes = frame;
    DecodedReply reply = packet.DecodeReply(protocol, 1, poll);
    if (out) *out = packet;
    return reply;
}

// The decoded values as text, "address=value" in decoding order.
std::wstring Values(const DecodedReply& reply) {
    std::wstring text;
    for (const auto& [address, item] : reply.items)
        text += (text.empty() ? L"" : L" ") + std::to_wstring(address) + L"=" + item.FormatText();
    return text;
}

}  // namespace

TEST(DecodeReply, ReadsRegistersOverTcp) {
    Bytes frame = WithMbap({0x01, 0x03, 0x04,  // slave, function, 4 bytes
                            0x00, 0x0A,        // 10
                            0x00, 0x14});      // 20
    DecodedReply reply = Decode(Protocol::Tcp, frame, MakeTestPoll(3, 100, 2, PresetId::ShortUint));
    EXPECT_EQ(reply.result, ParseMessageDone) << ParseResultText(reply.result);
    EXPECT_EQ(Values(reply), L"100=10 101=20");
}

TEST(DecodeReply, ReadsRegistersOverRtuAndChecksTheCrc) {
    Bytes frame = {0x01, 0x03, 0x04,        // slave, function, 4 bytes
                   0x00, 0x0A, 0x00, 0x14,  // 10, 20
                   0xDA, 0x3E};             // CRC
    DecodedReply reply = Decode(Protocol::Rtu, frame, MakeTestPoll(3, 0, 2, PresetId::ShortUint));
    EXPECT_EQ(Values(reply), L"0=10 1=20") << ParseResultText(reply.result);

    frame[4] ^= 0x01;  // one bit flipped on the line
    reply = Decode(Protocol::Rtu, frame, MakeTestPoll(3, 0, 2, PresetId::ShortUint));
    EXPECT_EQ(reply.result, ParseCrcMismatch);
    EXPECT_TRUE(reply.items.empty());
}

TEST(DecodeReply, ReadsAllEightCoilsOfOneDataByte) {
    Bytes frame = WithMbap({0x01, 0x01, 0x01, 0xA5});
    DecodedReply reply = Decode(Protocol::Tcp, frame, MakeTestPoll(1, 0, 8, PresetId::Bit));
    EXPECT_EQ(Values(reply), L"0=1 1=0 2=1 3=0 4=0 5=1 6=0 7=1");
}

TEST(DecodeReply, StoresOnlyThePolledInputsOfTheLastByte) {
    Bytes frame = WithCrc({0x01, 0x02, 0x02, 0xFF, 0xFF});
    DecodedReply reply = Decode(Protocol::Rtu, frame, MakeTestPoll(2, 20, 10, PresetId::Bit));
    ASSERT_EQ(reply.items.size(), 10u) << ParseResultText(reply.result);
    EXPECT_EQ(reply.items.back().first, 29);
}

TEST(DecodeReply, ReadsTwoThousandCoils) {
    Bytes pdu = {0x01, 0x01, 250};
    pdu.resize(3 + 250, 0x55);
    DecodedReply reply =
        Decode(Protocol::Tcp, WithMbap(pdu), MakeTestPoll(1, 0, 2000, PresetId::Bit));
    ASSERT_EQ(reply.items.size(), 2000u) << ParseResultText(reply.result);
    EXPECT_TRUE(reply.items[1998].second.AsBit());
    EXPECT_FALSE(reply.items[1999].second.AsBit());
}

TEST(DecodeReply, PlacesMultiRegisterItemsAtTheirStep) {
    Bytes frame = WithMbap({0x01, 0x04, 0x08, 0x00, 0x00, 0x41, 0x20,  // 10.0 as CDAB
                            0x00, 0x00, 0xC0, 0x00});                  // -2.0 as CDAB
    DecodedReply reply =
        Decode(Protocol::Tcp, frame, MakeTestPoll(4, 100, 2, PresetId::RosemountFloat));
    EXPECT_EQ(Values(reply), L"100=10 102=-2");

    frame = WithMbap({0x01, 0x03, 0x08, 0x00, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF});
    reply = Decode(Protocol::Tcp, frame, MakeTestPoll(3, 7, 2, PresetId::LongUint));
    EXPECT_EQ(Values(reply), L"7=65536 9=4294967295");
}

TEST(DecodeReply, TakesTheDanielCountByteAsAnItemCount) {
    Bytes floats = WithMbap({0x01, 0x41, 0x02,          // slave, 65, 2 items
                             0x3F, 0x80, 0x00, 0x00,    // 1.0
                             0x40, 0x00, 0x00, 0x00});  // 2.0
    DecodedReply reply = Decode(Protocol::Tcp, floats, MakeTestPoll(65, 300, 2, PresetId::Float));
    EXPECT_EQ(Values(reply), L"300=1 301=2") << ParseResultText(reply.result);

    Bytes doubles = WithCrc({0x01, 0x43, 0x01, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0});
    reply = Decode(Protocol::Rtu, doubles, MakeTestPoll(67, 5, 1, PresetId::Double));
    EXPECT_EQ(Values(reply), L"5=1");

    Bytes wrongCount = WithMbap({0x01, 0x41, 0x08, 0x3F, 0x80, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00});
    reply = Decode(Protocol::Tcp, wrongCount, MakeTestPoll(65, 300, 2, PresetId::Float));
    EXPECT_EQ(reply.result, ParseCountMismatch) << "8 is the byte count, not the item count";
}

TEST(DecodeReply, WrapsItemAddressesPast65535) {
    Bytes frame = WithMbap({0x01, 0x03, 0x04, 0x00, 0x01, 0x00, 0x02});
    DecodedReply reply =
        Decode(Protocol::Tcp, frame, MakeTestPoll(3, 65535, 2, PresetId::ShortUint));
    EXPECT_EQ(Values(reply), L"65535=1 0=2");
}

TEST(DecodeReply, AcceptsWriteEchoesWithoutValues) {
    const struct {
        uint8_t function;
        int32_t preset;
        Bytes pdu;
    } echoes[] = {{5, PresetId::Bit, {0x01, 0x05, 0x00, 0x0A, 0xFF, 0x00}},
                  {6, PresetId::ShortUint, {0x01, 0x06, 0x00, 0x0A, 0x04, 0xD2}},
                  {15, PresetId::Bit, {0x01, 0x0F, 0x00, 0x0A, 0x00, 0x0A}},
                  {16, PresetId::ShortUint, {0x01, 0x10, 0x00, 0x0A, 0x00, 0x63}},
                  {66, PresetId::Float, {0x01, 0x42, 0x02}},
                  {68, PresetId::Double, {0x01, 0x44, 0x02}}};
    for (const auto& echo : echoes) {
        Poll poll = MakeTestPoll(echo.function, 10, 2, echo.preset);
        DecodedReply tcp = Decode(Protocol::Tcp, WithMbap(echo.pdu), poll);
        DecodedReply rtu = Decode(Protocol::Rtu, WithCrc(echo.pdu), poll);
        EXPECT_TRUE(tcp.Accepted()) << int(echo.function) << ": " << ParseResultText(tcp.result);
        EXPECT_TRUE(rtu.Accepted()) << int(echo.function) << ": " << ParseResultText(rtu.result);
        EXPECT_TRUE(tcp.items.empty() && rtu.items.empty());
    }
}

TEST(DecodeReply, RecognisesExceptionRepliesOnBothFramings) {
    ModbusPacket packet(Protocol::Tcp, 0);
    Poll poll = MakeTestPoll(3, 0, 2, PresetId::ShortUint);
    DecodedReply tcp = Decode(Protocol::Tcp, WithMbap({0x01, 0x83, 0x02}), poll, &packet);
    EXPECT_EQ(tcp.result, ParseExceptionReply);
    EXPECT_TRUE(packet.isException);
    EXPECT_EQ(packet.exceptionCode, 0x02);
    EXPECT_EQ(packet.function, 0x83);

    Bytes rtu = {0x01, 0x83, 0x02, 0xC0, 0xF1};
    EXPECT_EQ(Decode(Protocol::Rtu, rtu, poll).result, ParseExceptionReply);
    EXPECT_EQ(Decode(Protocol::Tcp, WithMbap({0x01, 0x83}), poll).result, ParseTruncated);
    EXPECT_EQ(Decode(Protocol::Tcp, WithMbap({0x01, 0x81, 0x02}), poll).result,
              ParseUnsupportedFunction)
        << "the exception form of another function";
}

TEST(DecodeReply, RefusesAReplyOfAnotherFunction) {
    // A coil reply whose bytes would decode as registers at this poll's addresses.
    Bytes coils = WithMbap({0x01, 0x01, 0x04, 0x00, 0x0A, 0x00, 0x14});
    DecodedReply reply = Decode(Protocol::Tcp, coils, MakeTestPoll(3, 0, 2, PresetId::ShortUint));
    EXPECT_EQ(reply.result, ParseUnexpectedFunction);
    EXPECT_TRUE(reply.items.empty());
    EXPECT_EQ(Decode(Protocol::Tcp, WithMbap({0x01, 0x07, 0x00}),
                     MakeTestPoll(3, 0, 2, PresetId::ShortUint))
                  .result,
              ParseUnsupportedFunction);
}

TEST(DecodeReply, RefusesEveryMalformedReply) {
    Poll poll = MakeTestPoll(3, 0, 2, PresetId::ShortUint);
    const Bytes good = {0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x14};
    Bytes otherSlave = good;
    otherSlave[0] = 2;
    Bytes protocolOne = WithMbap(good);
    protocolOne[3] = 1;
    Bytes longLength = WithMbap(good);
    longLength[5] = 8;
    Bytes shortCount = {0x01, 0x03, 0x02, 0x00, 0x0A};
    Bytes endsEarly = {0x01, 0x03, 0x04, 0x00, 0x0A, 0x00};
    Bytes extra = good;
    extra.push_back(0x00);
    const struct {
        const char* what;
        uint8_t protocol;
        Bytes frame;
        ParseResult result;
    } cases[] = {
        {"other slave", Protocol::Tcp, WithMbap(otherSlave), ParseNotOurAddress},
        {"protocol id 1", Protocol::Tcp, protocolOne, ParseTcpProtocolNonZero},
        {"length beyond the bytes", Protocol::Tcp, longLength, ParseTcpLengthInvalid},
        {"header only", Protocol::Tcp, {0x00, 0x01, 0x00, 0x00, 0x00}, ParseTruncated},
        {"byte count 2 for 2 registers", Protocol::Tcp, WithMbap(shortCount), ParseCountMismatch},
        {"data ends early", Protocol::Tcp, WithMbap(endsEarly), ParseTruncated},
        {"data ends early, RTU", Protocol::Rtu, WithCrc(endsEarly), ParseTruncated},
        {"byte after the data", Protocol::Tcp, WithMbap(extra), ParseExtraBytes},
        {"no CRC", Protocol::Rtu, {0x01}, ParseTruncated},
        {"empty", Protocol::Rtu, {}, ParseTruncated},
    };
    for (const auto& c : cases) {
        DecodedReply reply = Decode(c.protocol, c.frame, poll);
        EXPECT_EQ(reply.result, c.result) << c.what << ": " << ParseResultText(reply.result);
        EXPECT_TRUE(reply.items.empty()) << c.what;
    }
}

TEST(DecodeReply, NeedsThePollsPresetToDecodeData) {
    Poll poll = MakeTestPoll(3, 0, 1, 42);
    EXPECT_EQ(Decode(Protocol::Tcp, WithMbap({0x01, 0x03, 0x02, 0x00, 0x01}), poll).result,
              ParseInternalError);
}

TEST(ParseReply, CommitsChangedValuesOnlyWhenTheWholeReplyIsAccepted) {
    DataMap map;
    map.Insert(0, DataItem::MakeUnsignedShort(10));  // unchanged
    map.Insert(1, DataItem::MakeUnsignedInt(0));     // another type: changes
    Poll poll = MakeTestPoll(3, 0, 3, PresetId::ShortUint);
    Bytes frame = {0x01, 0x03, 0x06, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x07};
    std::vector<uint16_t> changed;

    ModbusPacket bad(Protocol::Rtu, 0);
    bad.bytes = WithCrc(frame);
    bad.bytes.back() ^= 0xFF;
    EXPECT_FALSE(bad.ParseReply(Protocol::Rtu, 1, poll, map, changed));
    EXPECT_TRUE(changed.empty());
    EXPECT_EQ(map.Find(1)->item.type, DataItem::UnsignedInt) << "a rejected reply stores nothing";

    ModbusPacket good(Protocol::Rtu, 0);
    good.bytes = WithCrc(frame);
    EXPECT_TRUE(good.ParseReply(Protocol::Rtu, 1, poll, map, changed));
    EXPECT_EQ(changed, (std::vector<uint16_t>{1}));
    EXPECT_EQ(map.Find(1)->item.type, DataItem::UnsignedShort);
    EXPECT_FALSE(map.Contains(2)) << "unmapped addresses are dropped";
    EXPECT_EQ(good.items.size(), 3u) << "the packet keeps what it carried";
    EXPECT_EQ(good.readPos, good.bytes.size());
}

TEST(ParseReply, ReportsPolledBitsAsChangedEveryTime) {
    DataMap map;
    map.Insert(4, DataItem::MakeBit(true));
    map.Insert(5, DataItem::MakeUnsignedShort(0));
    ModbusPacket packet(Protocol::Tcp, 0);
    packet.bytes = WithMbap({0x01, 0x01, 0x01, 0x01});
    std::vector<uint16_t> changed;
    ASSERT_TRUE(
        packet.ParseReply(Protocol::Tcp, 1, MakeTestPoll(1, 4, 2, PresetId::Bit), map, changed));
    EXPECT_EQ(changed, (std::vector<uint16_t>{4, 5}));
    EXPECT_EQ(map.Find(5)->item.type, DataItem::Bit) << "a stale 16-bit zero became a bit";
}

TEST(ParseReply, StoresNothingForAnExceptionReply) {
    DataMap map;
    map.Insert(0, DataItem::MakeUnsignedShort(1));
    ModbusPacket packet(Protocol::Tcp, 0);
    packet.bytes = WithMbap({0x01, 0x83, 0x04});
    std::vector<uint16_t> changed;
    EXPECT_FALSE(packet.ParseReply(Protocol::Tcp, 1, MakeTestPoll(3, 0, 1, PresetId::ShortUint),
                                   map, changed));
    EXPECT_EQ(map.Find(0)->item.AsUnsignedShort(), 1);
    EXPECT_TRUE(changed.empty());
}
