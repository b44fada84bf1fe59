#include <gtest/gtest.h>

#include <string>

#include "Frames.h"
#include "protocol/DebugTrace.h"
#include "protocol/ModbusException.h"
#include "protocol/ModbusPacket.h"
#include "protocol/ProtocolTable.h"

namespace {

// A reply packet prepared as the serial master prepares it, for slave 1's
// answer to one poll whose own range is the only one.
ModbusPacket Prepared(uint8_t protocol, uint8_t function, uint16_t start, uint16_t size,
                      int32_t preset) {
    Poll poll;
    MakePoll(function, start, size, preset, poll);
    ModbusPacket packet(protocol, 0);
    ParseResult result = packet.PrepareReply(poll, {{function, start, poll.size, preset}});
    EXPECT_EQ(result, ParseByteOk) << ParseResultText(result);
    return packet;
}

// Feeds the bytes one at a time; the results as "0 0 0 1".
std::string Feed(ModbusPacket& packet, const Bytes& bytes) {
    std::string results;
    for (uint8_t b : bytes) {
        if (!results.empty()) results += ' ';
        results += std::to_string(packet.ParseByte(b));
    }
    return results;
}

std::wstring Items(const ModbusPacket& packet) {
    std::wstring text;
    for (const auto& [address, item] : packet.items)
        text += (text.empty() ? L"" : L" ") + std::to_wstring(address) + L"=" + item.FormatText();
    return text;
}

}  // namespace

TEST(ParseByte, DecodesAnRtuRegisterReplyAndConsumesItsCrc) {
    ModbusPacket packet = Prepared(Protocol::Rtu, 3, 40, 2, PresetId::ShortUint);
    Bytes frame = {0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x14, 0xDA, 0x3E};
    EXPECT_EQ(Feed(packet, frame), "0 0 0 0 0 0 0 0 0") << "RTU frames end at the silence";
    EXPECT_EQ(Items(packet), L"40=10 41=20");
    EXPECT_EQ(packet.state, PacketField::end);
    EXPECT_EQ(packet.CheckFrame(), ParseByteOk);
    EXPECT_EQ(packet.ParseByte(0x00), ParseExtraBytes);
    EXPECT_EQ(packet.CheckFrame(), ParseExtraBytes);
    EXPECT_TRUE(packet.items.empty()) << "a frame with a fault keeps no values";
}

TEST(ParseByte, EndsAnMbapReplyWithMessageDone) {
    ModbusPacket packet = Prepared(Protocol::Tcp, 3, 0, 2, PresetId::ShortUint);
    Bytes frame = WithMbap({0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x14}, 0x1234);
    EXPECT_EQ(Feed(packet, frame), "0 0 0 0 0 0 0 0 0 0 0 0 1");
    EXPECT_EQ(packet.transactionId, 0x1234);
    EXPECT_EQ(packet.length, 7);
    EXPECT_EQ(Items(packet), L"0=10 1=20");
    EXPECT_EQ(packet.CheckFrame(), ParseByteOk);
}

TEST(ParseByte, ReportsABadMbapHeaderAtTheSecondByteOfItsField) {
    ModbusPacket protocolOne = Prepared(Protocol::Tcp, 3, 0, 1, PresetId::ShortUint);
    EXPECT_EQ(Feed(protocolOne, {0x00, 0x01, 0x00, 0x01}), "0 0 0 2");
    ModbusPacket length300 = Prepared(Protocol::Tcp, 3, 0, 1, PresetId::ShortUint);
    EXPECT_EQ(Feed(length300, {0x00, 0x01, 0x00, 0x00, 0x01, 0x2C}), "0 0 0 0 0 3");
    EXPECT_EQ(length300.CheckFrame(), ParseTcpLengthInvalid);
}

TEST(ParseByte, ReportsAnMbapLengthThatDoesNotMatchTheMessage) {
    ModbusPacket packet = Prepared(Protocol::Tcp, 3, 0, 1, PresetId::ShortUint);
    Bytes frame = WithMbap({0x01, 0x03, 0x02, 0x00, 0x0A});
    frame[5] = 6;
    EXPECT_EQ(Feed(packet, frame), "0 0 0 0 0 0 0 0 0 0 3");
    EXPECT_EQ(packet.CheckFrame(), ParseTcpLengthInvalid);
}

TEST(ParseByte, RefusesAnotherSlavesReplyButReadsOn) {
    ModbusPacket packet = Prepared(Protocol::Rtu, 3, 0, 1, PresetId::ShortUint);
    packet.acceptedAddresses = {1, 3};
    EXPECT_EQ(Feed(packet, WithCrc({0x02, 0x03, 0x02, 0x00, 0x0A})), "4 0 0 0 0 0 0");
    EXPECT_EQ(packet.CheckFrame(), ParseNotOurAddress);
    EXPECT_TRUE(packet.items.empty());
}

TEST(ParseByte, DecodesExactlyThePolledCoils) {
    ModbusPacket packet = Prepared(Protocol::Rtu, 1, 0, 10, PresetId::Bit);
    Feed(packet, WithCrc({0x01, 0x01, 0x02, 0xFF, 0xFF}));
    EXPECT_EQ(packet.items.size(), 10u);
    EXPECT_EQ(packet.items.rbegin()->first, 9) << "bits 10 to 15 of the second byte are not stored";
    EXPECT_EQ(packet.CheckFrame(), ParseByteOk);
}

TEST(ParseByte, DecodesTwoThousandCoilsWithoutItsCountersWrapping) {
    ModbusPacket packet = Prepared(Protocol::Rtu, 2, 0, 2000, PresetId::Bit);
    Bytes pdu = {0x01, 0x02, 250};
    pdu.resize(3 + 250, 0xFF);
    Feed(packet, WithCrc(pdu));
    EXPECT_EQ(packet.items.size(), 2000u);
    EXPECT_EQ(packet.CheckFrame(), ParseByteOk);
}

TEST(ParseByte, DecodesTheLongestDanielReply) {
    ModbusPacket packet = Prepared(Protocol::Rtu, 67, 0, 255, PresetId::Double);
    Bytes pdu = {0x01, 0x43, 255};
    pdu.resize(3 + 255 * 8, 0x3F);
    Feed(packet, WithCrc(pdu));
    EXPECT_EQ(packet.items.size(), 255u);
    EXPECT_EQ(packet.CheckFrame(), ParseByteOk) << "all 2045 bytes count for the CRC";
}

TEST(ParseByte, PlacesRosemountFloatsTwoAddressesApart) {
    ModbusPacket packet = Prepared(Protocol::Rtu, 3, 10, 2, PresetId::RosemountFloat);
    Feed(packet, WithCrc({0x01, 0x03, 0x08, 0x00, 0x00, 0x41, 0x20, 0x00, 0x00, 0xC0, 0x00}));
    EXPECT_EQ(packet.itemsExpected, 2u);
    EXPECT_EQ(packet.itemSize, 4);
    EXPECT_EQ(Items(packet), L"10=10 12=-2");
}

TEST(ParseByte, TakesTheDanielCountAsAnItemCount) {
    ModbusPacket packet = Prepared(Protocol::Rtu, 65, 300, 2, PresetId::Float);
    Bytes frame = WithCrc({0x01, 0x41, 0x02, 0x3F, 0x80, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00});
    EXPECT_EQ(Feed(packet, frame), "0 0 0 0 0 0 0 0 0 0 0 0 0");
    EXPECT_EQ(Items(packet), L"300=1 301=2");
    EXPECT_EQ(packet.CheckFrame(), ParseByteOk);
}

TEST(ParseByte, NeverDecodesTheCrcOfAShortReplyAsAValue) {
    // Two registers asked for, one sent: the CRC must not become the second.
    ModbusPacket packet = Prepared(Protocol::Rtu, 3, 0, 2, PresetId::ShortUint);
    EXPECT_EQ(Feed(packet, WithCrc({0x01, 0x03, 0x02, 0x00, 0x0A})), "0 0 8 0 0 0 0");
    EXPECT_TRUE(packet.items.empty());
    EXPECT_EQ(packet.state, PacketField::end) << "the frame is still walked by its own count";
    EXPECT_EQ(packet.CheckFrame(), ParseCountMismatch);
}

TEST(ParseByte, KeepsNoValuesOfAFrameWithABadCrc) {
    ModbusPacket packet = Prepared(Protocol::Rtu, 3, 0, 2, PresetId::ShortUint);
    Bytes frame = {0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x14, 0xDA, 0x3F};
    EXPECT_EQ(Feed(packet, frame), "0 0 0 0 0 0 0 0 0") << "the CRC bytes are consumed";
    EXPECT_EQ(packet.CheckFrame(), ParseCrcMismatch);
    EXPECT_TRUE(packet.items.empty());
}

TEST(ParseByte, ReportsAFrameCutShortAsTruncated) {
    ModbusPacket packet = Prepared(Protocol::Rtu, 3, 0, 2, PresetId::ShortUint);
    Feed(packet, {0x01, 0x03, 0x04, 0x00, 0x0A});
    EXPECT_EQ(packet.CheckFrame(), ParseTruncated);
    ModbusPacket silent = Prepared(Protocol::Rtu, 3, 0, 2, PresetId::ShortUint);
    EXPECT_EQ(silent.CheckFrame(), ParseTruncated);
}

TEST(ParseByte, RecognisesAnExceptionReply) {
    ModbusPacket rtu = Prepared(Protocol::Rtu, 3, 0, 2, PresetId::ShortUint);
    EXPECT_EQ(Feed(rtu, {0x01, 0x83, 0x02, 0xC0, 0xF1}), "0 0 0 0 0");
    EXPECT_TRUE(rtu.isException);
    EXPECT_EQ(rtu.exceptionCode, 2);
    EXPECT_EQ(rtu.CheckFrame(), ParseExceptionReply);

    ModbusPacket tcp = Prepared(Protocol::Tcp, 16, 0, 2, PresetId::ShortUint);
    EXPECT_EQ(Feed(tcp, WithMbap({0x01, 0x90, 0x03})), "0 0 0 0 0 0 0 0 1");
    EXPECT_EQ(tcp.CheckFrame(), ParseExceptionReply);
}

TEST(ParseByte, AbandonsARepliesOfAnotherOrAnUnsupportedFunction) {
    ModbusPacket other = Prepared(Protocol::Rtu, 3, 0, 2, PresetId::ShortUint);
    EXPECT_EQ(Feed(other, {0x01, 0x04}), "0 -3");
    EXPECT_EQ(other.state, PacketField::function);
    ModbusPacket unsupported = Prepared(Protocol::Rtu, 3, 0, 2, PresetId::ShortUint);
    EXPECT_EQ(Feed(unsupported, {0x01, 0x07}), "0 -2");
    ModbusPacket otherException = Prepared(Protocol::Rtu, 3, 0, 2, PresetId::ShortUint);
    EXPECT_EQ(Feed(otherException, {0x01, 0x84}), "0 -3");
}

TEST(ParseByte, ReadsWriteEchoesOfEveryWriteFunction) {
    ModbusPacket coil = Prepared(Protocol::Rtu, 5, 10, 1, PresetId::Bit);
    EXPECT_EQ(Feed(coil, WithCrc({0x01, 0x05, 0x00, 0x0A, 0xFF, 0x00})), "0 0 0 0 0 0 0 0");
    EXPECT_EQ(Items(coil), L"10=1");

    ModbusPacket reg = Prepared(Protocol::Tcp, 6, 10, 1, PresetId::ShortUint);
    EXPECT_EQ(Feed(reg, WithMbap({0x01, 0x06, 0x00, 0x0A, 0x04, 0xD2})), "0 0 0 0 0 0 0 0 0 0 0 1");
    EXPECT_EQ(Items(reg), L"10=1234");

    ModbusPacket regs = Prepared(Protocol::Rtu, 16, 1, 2, PresetId::ShortUint);
    EXPECT_EQ(Feed(regs, WithCrc({0x01, 0x10, 0x00, 0x01, 0x00, 0x02})), "0 0 0 0 0 0 0 0");
    EXPECT_EQ(regs.count, 2);
    EXPECT_EQ(regs.CheckFrame(), ParseByteOk);

    ModbusPacket coils = Prepared(Protocol::Tcp, 15, 0, 10, PresetId::Bit);
    EXPECT_EQ(Feed(coils, WithMbap({0x01, 0x0F, 0x00, 0x00, 0x00, 0x0A})),
              "0 0 0 0 0 0 0 0 0 0 0 1");

    ModbusPacket floats = Prepared(Protocol::Rtu, 66, 0, 2, PresetId::Float);
    EXPECT_EQ(Feed(floats, WithCrc({0x01, 0x42, 0x02})), "0 0 0 0 0");
    EXPECT_EQ(floats.CheckFrame(), ParseByteOk);
    ModbusPacket doubles = Prepared(Protocol::Tcp, 68, 0, 1, PresetId::Double);
    EXPECT_EQ(Feed(doubles, WithMbap({0x01, 0x44, 0x01})), "0 0 0 0 0 0 0 0 1");
}

TEST(ParseByte, ChecksTheEchoedStartAgainstThePollRanges) {
    ModbusPacket packet = Prepared(Protocol::Rtu, 6, 10, 1, PresetId::ShortUint);
    packet.ranges = {{6, 10, 1, PresetId::ShortUint}};
    EXPECT_EQ(Feed(packet, {0x01, 0x06, 0x00, 0x0B}), "0 0 0 6");
    EXPECT_EQ(packet.CheckFrame(), ParseAddressOutOfRange);
}

TEST(PrepareReply, EmptiesTheRangesOnlyWhenAPresetWasFound) {
    Poll poll;
    MakePoll(4, 100, 2, PresetId::RosemountFloat, poll);
    ModbusPacket packet(Protocol::Tcp, 0);
    packet.acceptedAddresses = {1};
    packet.bytes = {0xAA};
    EXPECT_EQ(packet.PrepareReply(poll, {{4, 100, 2, PresetId::RosemountFloat}}), ParseByteOk);
    EXPECT_TRUE(packet.ranges.empty() && packet.acceptedAddresses.empty() && packet.bytes.empty());
    EXPECT_EQ(packet.preset, FindPreset(PresetId::RosemountFloat));
    EXPECT_EQ(packet.function, 4);
    EXPECT_EQ(packet.count, 2);
    EXPECT_EQ(packet.state, PacketField::tcpid);
    EXPECT_EQ(packet.fieldIndex, -1);

    EXPECT_EQ(packet.PrepareReply(poll, {{3, 100, 2, PresetId::ShortUint}}),
              ParseAddressOutOfRange);
    EXPECT_EQ(packet.ranges.size(), 1u);
    EXPECT_EQ(packet.preset, nullptr);
}

TEST(ParseByte, StopsAtTheCountByteWithoutAPreset) {
    Poll poll;
    MakePoll(3, 0, 1, PresetId::ShortUint, poll);
    ModbusPacket packet(Protocol::Rtu, 0);
    EXPECT_EQ(packet.PrepareReply(poll, {{4, 0, 1, PresetId::ShortUint}}), ParseAddressOutOfRange);
    EXPECT_EQ(Feed(packet, {0x01, 0x03, 0x02}), "0 0 -1");
}

namespace {
std::wstring g_trace;
void Capture(const wchar_t* line) { g_trace += line; }
}  // namespace

TEST(ParseByte, TracesEachByteWithItsState) {
    DebugTrace::Sink previous = DebugTrace::SetSink(&Capture);
    g_trace.clear();
    ModbusPacket packet = Prepared(Protocol::Rtu, 3, 0, 1, PresetId::ShortUint);
    Feed(packet, {0x01, 0x03, 0x02});
    DebugTrace::SetSink(previous);
    EXPECT_EQ(g_trace,
              L"state: address byte: 1\nstate: function byte: 3\nstate: bytecount byte: 2\n");
}

TEST(ParseResultText, NamesEveryCode) {
    EXPECT_STREQ(ParseResultText(-2), L"Unsupported function");
    EXPECT_STREQ(ParseResultText(-1), L"Internal error");
    EXPECT_STREQ(ParseResultText(0), L"byte ok");
    EXPECT_STREQ(ParseResultText(1), L"message done");
    EXPECT_STREQ(ParseResultText(2), L"tcp protocol was non zero");
    EXPECT_STREQ(ParseResultText(3), L"tcp length was invalid");
    EXPECT_STREQ(ParseResultText(4), L"Not our modbus address");
    EXPECT_STREQ(ParseResultText(5), L"unexpected extra message bytes");
    EXPECT_STREQ(ParseResultText(6), L"data address out of range");
    EXPECT_STREQ(ParseResultText(42), L"Unknown result");
    EXPECT_STREQ(ModbusExceptionText(2), L"Illegal data address");
}

// ---- CheckRange

namespace {
ParseResult Range(uint8_t function, uint16_t start, uint16_t count,
                  std::vector<AddressRange> ranges, int32_t* presetId = nullptr) {
    ModbusPacket packet(Protocol::Rtu, 0);
    packet.function = function;
    packet.start = start;
    packet.count = count;
    packet.ranges = std::move(ranges);
    ParseResult result = packet.CheckRange();
    if (presetId) *presetId = packet.preset ? packet.preset->id : -99;
    return result;
}
}  // namespace

TEST(CheckRange, FallsBackToShortUintWithoutRanges) {
    int32_t preset = 0;
    EXPECT_EQ(Range(3, 0, 10, {}, &preset), ParseByteOk);
    EXPECT_EQ(preset, PresetId::ShortUint);
}

TEST(CheckRange, TakesThePresetOfTheFirstRangeHoldingTheLastAddress) {
    int32_t preset = 0;
    std::vector<AddressRange> ranges = {{3, 0, 5, PresetId::LongUint},
                                        {4, 0, 20, PresetId::Float},
                                        {3, 0, 20, PresetId::RosemountFloat},
                                        {3, 0, 20, PresetId::Double}};
    EXPECT_EQ(Range(3, 8, 2, ranges, &preset), ParseByteOk);
    EXPECT_EQ(preset, PresetId::RosemountFloat);
}

TEST(CheckRange, RefusesAddressesOutsideTheRangesOfTheFunction) {
    EXPECT_EQ(Range(3, 0, 10, {{4, 0, 100, 1}, {16, 0, 100, 1}}), ParseAddressOutOfRange);
    EXPECT_EQ(Range(3, 0, 11, {{3, 0, 10, 1}}), ParseAddressOutOfRange);
    EXPECT_EQ(Range(3, 0, 10, {{3, 0, 10, -1}}), ParseAddressOutOfRange);
    EXPECT_EQ(Range(3, 0, 10, {{3, 0, 10, 77}}), ParseInternalError);
}

TEST(CheckRange, MatchesARangeThatEndsAt65535) {
    EXPECT_EQ(Range(3, 65530, 6, {{3, 65530, 6, 1}}), ParseByteOk);
    EXPECT_EQ(Range(3, 65535, 1, {{3, 65535, 1, 1}}), ParseByteOk);
    EXPECT_EQ(Range(3, 65535, 2, {{3, 65535, 1, 1}, {3, 0, 10, 1}}), ParseAddressOutOfRange)
        << "a poll reaching past 65535 is in no range";
}
