#include <gtest/gtest.h>

#include "Frames.h"
#include "protocol/ModbusPacket.h"
#include "protocol/ProtocolTable.h"

namespace {

namespace P = PresetId;
constexpr uint8_t Tcp = Protocol::Tcp, Rtu = Protocol::Rtu;
constexpr ParseResult Ok = ParseByteOk;

// A reply packet prepared as the serial master prepares it, for slave 1's
// answer to a poll whose own range is the only one.
ModbusPacket Prepared(uint8_t protocol, const Poll& poll) {
    ModbusPacket packet(protocol, 0);
    ParseResult result = packet.PrepareReply(
        poll, {{poll.FunctionCode(), poll.start, poll.size, poll.formatpreset}});
    EXPECT_EQ(result, ParseByteOk) << ParseResultText(result);
    packet.acceptedAddresses = {1};
    return packet;
}

// Feeds the bytes one at a time; the results as "0 0 0 1".
std::string Feed(ModbusPacket& packet, const Bytes& bytes) {
    std::string results;
    for (uint8_t b : bytes)
        results += (results.empty() ? "" : " ") + std::to_string(packet.ParseByte(b));
    return results;
}

Bytes Frame(Bytes bytes, size_t at, uint8_t value) {
    bytes[at] = value;
    return bytes;
}

const Bytes kRegs = {0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x14};  // slave, 3, 4 bytes, 10, 20

}  // namespace

// Every reply layout goes through both decoders: the whole reply (TCP master)
// and byte by byte with CheckFrame (serial master). They must agree.
TEST(Reply, EveryLayoutDecodesAlikeWholeAndByteByByte) {
    const Poll regs = MadePoll(3, 0, 2, P::ShortUint);
    const ParseResult Same = ParseResult(99);
    const struct {
        const char* name;
        uint8_t protocol;
        Poll poll;
        Bytes frame;
        ParseResult result;                   // Ok: accepted by both
        const wchar_t* values;                // as DecodeReply gives them
        const char* fed = nullptr;            // ParseByte's results, when they matter
        const wchar_t* byteValues = nullptr;  // when ParseByte keeps others
        ParseResult byteResult = Same;        // when CheckFrame says otherwise
    } cases[] = {
        // clang-format off
        {"3 over MBAP", Tcp, MadePoll(3, 100, 2, P::ShortUint), WithMbap(kRegs), Ok,
         L"100=10 101=20", "0 0 0 0 0 0 0 0 0 0 0 0 1"},
        {"3 over RTU", Rtu, regs, {0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x14, 0xDA, 0x3E}, Ok,
         L"0=10 1=20", "0 0 0 0 0 0 0 0 0"},  // an RTU frame ends at the silence
        {"3 over RTU, one bit flipped", Rtu, regs,
         {0x01, 0x03, 0x04, 0x00, 0x0B, 0x00, 0x14, 0xDA, 0x3E}, ParseCrcMismatch, L"",
         "0 0 0 0 0 0 0 0 0"},  // the CRC bytes are consumed
        {"2: only the polled inputs of the last byte", Rtu, MadePoll(2, 20, 10, P::Bit),
         WithCrc({0x01, 0x02, 0x02, 0xFF, 0xFF}), Ok,
         L"20=1 21=1 22=1 23=1 24=1 25=1 26=1 27=1 28=1 29=1"},
        {"4 ROSEMOUNT FLOAT (CDAB) two addresses apart", Tcp,
         MadePoll(4, 100, 2, P::RosemountFloat),
         WithMbap({0x01, 0x04, 0x08, 0x00, 0x00, 0x41, 0x20, 0x00, 0x00, 0xC0, 0x00}), Ok,
         L"100=10 102=-2"},
        {"3 past 65535", Tcp, MadePoll(3, 65535, 2, P::ShortUint),
         WithMbap({0x01, 0x03, 0x04, 0x00, 0x01, 0x00, 0x02}), Ok, L"0=2 65535=1"},
        {"65: the count byte counts items", Rtu, MadePoll(65, 300, 2, P::Float),
         WithCrc({0x01, 0x41, 0x02, 0x3F, 0x80, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00}), Ok,
         L"300=1 301=2", "0 0 0 0 0 0 0 0 0 0 0 0 0"},
        {"67", Tcp, MadePoll(67, 5, 1, P::Double),
         WithMbap({0x01, 0x43, 0x01, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0}), Ok, L"5=1"},
        {"65 with a byte count instead", Tcp, MadePoll(65, 300, 2, P::Float),
         WithMbap({0x01, 0x41, 0x08, 0x3F, 0x80, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00}),
         ParseCountMismatch, L""},
        // Write echoes: the whole decoder takes no values from them.
        {"5 echo", Rtu, MadePoll(5, 10, 1, P::Bit), WithCrc({0x01, 0x05, 0x00, 0x0A, 0xFF, 0x00}),
         Ok, L"", "0 0 0 0 0 0 0 0", L"10=1"},
        {"6 echo", Tcp, MadePoll(6, 10, 1, P::ShortUint),
         WithMbap({0x01, 0x06, 0x00, 0x0A, 0x04, 0xD2}), Ok, L"", "0 0 0 0 0 0 0 0 0 0 0 1",
         L"10=1234"},
        {"15 echo", Tcp, MadePoll(15, 0, 10, P::Bit),
         WithMbap({0x01, 0x0F, 0x00, 0x00, 0x00, 0x0A}), Ok, L"", "0 0 0 0 0 0 0 0 0 0 0 1"},
        {"16 echo", Rtu, MadePoll(16, 1, 2, P::ShortUint),
         WithCrc({0x01, 0x10, 0x00, 0x01, 0x00, 0x02}), Ok, L"", "0 0 0 0 0 0 0 0"},
        {"66 echo", Rtu, MadePoll(66, 0, 2, P::Float), WithCrc({0x01, 0x42, 0x02}), Ok, L"",
         "0 0 0 0 0"},
        {"68 echo", Tcp, MadePoll(68, 0, 1, P::Double), WithMbap({0x01, 0x44, 0x01}), Ok, L"",
         "0 0 0 0 0 0 0 0 1"},
        // Exception replies, then every fault.
        {"exception over RTU", Rtu, regs, {0x01, 0x83, 0x02, 0xC0, 0xF1}, ParseExceptionReply,
         L"", "0 0 0 0 0"},
        {"exception of 16 over MBAP", Tcp, MadePoll(16, 0, 2, P::ShortUint),
         WithMbap({0x01, 0x90, 0x03}), ParseExceptionReply, L"", "0 0 0 0 0 0 0 0 1"},
        {"exception cut short", Tcp, regs, WithMbap({0x01, 0x83}), ParseTruncated, L""},
        {"another function's exception", Rtu, regs, WithCrc({0x01, 0x84, 0x02}),
         ParseUnsupportedFunction, L"", "0 -3 -3 -3 -3", nullptr, ParseUnexpectedFunction},
        {"another function, whose bytes would fit", Rtu, regs,
         WithCrc({0x01, 0x04, 0x04, 0x00, 0x0A, 0x00, 0x14}), ParseUnexpectedFunction, L"",
         "0 -3 -3 -2 -2 -2 -2 -2 -2"},  // the first fault is kept
        {"an unsupported function", Rtu, regs, WithCrc({0x01, 0x07, 0x00}),
         ParseUnsupportedFunction, L"", "0 -2 -2 -2 -2"},
        {"another slave", Rtu, MadePoll(3, 0, 1, P::ShortUint),
         WithCrc({0x02, 0x03, 0x02, 0x00, 0x0A}), ParseNotOurAddress, L"", "4 0 0 0 0 0 0"},
        {"protocol id 1", Tcp, regs, Frame(WithMbap(kRegs), 3, 1), ParseTcpProtocolNonZero, L"",
         "0 0 0 2 0 0 0 0 0 0 0 0 1"},  // at the second byte of its field
        {"length 300", Tcp, regs, {0x00, 0x01, 0x00, 0x00, 0x01, 0x2C}, ParseTcpLengthInvalid,
         L"", "0 0 0 0 0 3"},
        {"length beyond the bytes", Tcp, regs, Frame(WithMbap(kRegs), 5, 8),
         ParseTcpLengthInvalid, L""},
        {"length short of the bytes", Tcp, MadePoll(3, 0, 1, P::ShortUint),
         Frame(WithMbap({0x01, 0x03, 0x02, 0x00, 0x0A}), 5, 6), ParseTcpLengthInvalid, L"",
         "0 0 0 0 0 0 0 0 0 0 3"},
        {"header only", Tcp, regs, {0x00, 0x01, 0x00, 0x00, 0x00}, ParseTruncated, L""},
        {"byte count 2 for 2 registers: the CRC is no value", Rtu, regs,
         WithCrc({0x01, 0x03, 0x02, 0x00, 0x0A}), ParseCountMismatch, L"", "0 0 8 0 0 0 0"},
        {"data ends early", Tcp, regs, WithMbap({0x01, 0x03, 0x04, 0x00, 0x0A, 0x00}),
         ParseTruncated, L"", nullptr, L"*"},  // *: whatever it read, CheckFrame holds back
        {"data ends early, RTU", Rtu, regs, WithCrc({0x01, 0x03, 0x04, 0x00, 0x0A, 0x00}),
         ParseTruncated, L"", nullptr, L"*"},
        {"a byte after the data", Tcp, regs, WithMbap({1, 3, 4, 0, 0x0A, 0, 0x14, 0}),
         ParseExtraBytes, L"", nullptr, nullptr, ParseTcpLengthInvalid},  // MBAP length counts it
        {"a byte after the CRC", Rtu, regs,
         {0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x14, 0xDA, 0x3E, 0x00}, ParseExtraBytes, L""},
        {"no CRC", Rtu, regs, {0x01}, ParseTruncated, L""},
        {"nothing", Rtu, regs, {}, ParseTruncated, L""},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ": " + ToHex(c.frame));
        ModbusPacket whole(c.protocol, 0);
        whole.bytes = c.frame;
        const ParseResult decoded = whole.DecodeReply(c.protocol, 1, c.poll);
        EXPECT_EQ(decoded == ParseMessageDone ? Ok : decoded, c.result) << ParseResultText(decoded);
        EXPECT_EQ(Values(whole.items), c.values);

        ModbusPacket bytes = Prepared(c.protocol, c.poll);
        std::string fed = Feed(bytes, c.frame);
        EXPECT_EQ(c.fed ? fed : "", c.fed ? c.fed : "");
        EXPECT_EQ(bytes.CheckFrame(), c.byteResult == Same ? c.result : c.byteResult)
            << ParseResultText(bytes.CheckFrame());
        const std::wstring byteValues = c.byteValues ? c.byteValues : c.values;
        if (byteValues != L"*") {
            EXPECT_EQ(Values(bytes.items), byteValues);
        }
        if (c.result == ParseExceptionReply) {
            EXPECT_TRUE(whole.isException && bytes.isException);
            EXPECT_EQ(whole.exceptionCode, c.frame[c.protocol == Tcp ? 8 : 2]);
            EXPECT_EQ(bytes.exceptionCode, whole.exceptionCode);
        }
    }
}

// Item counters are wider than the count byte's 8 bits.
TEST(Reply, TheLongestRepliesDecodeWholeAndByteByByte) {
    Bytes coils = {0x01, 0x01, 250};
    coils.resize(3 + 250, 0x55);
    ModbusPacket reply(Tcp, 0);
    reply.bytes = WithMbap(coils);
    const ParseResult decoded = reply.DecodeReply(Tcp, 1, MadePoll(1, 0, 2000, P::Bit));
    ASSERT_EQ(reply.items.Size(), 2000u) << ParseResultText(decoded);
    EXPECT_TRUE(reply.items.At(1998).second.AsBit());
    EXPECT_FALSE(reply.items.At(1999).second.AsBit());

    ModbusPacket inputs = Prepared(Rtu, MadePoll(2, 0, 2000, P::Bit));
    Feed(inputs, WithCrc(Frame(coils, 1, 0x02)));
    EXPECT_EQ(inputs.items.Size(), 2000u);
    EXPECT_EQ(inputs.CheckFrame(), Ok);

    Bytes doubles = {0x01, 0x43, 255};
    doubles.resize(3 + 255 * 8, 0x3F);
    ModbusPacket daniel = Prepared(Rtu, MadePoll(67, 0, 255, P::Double));
    Feed(daniel, WithCrc(doubles));
    EXPECT_EQ(daniel.items.Size(), 255u);
    EXPECT_EQ(daniel.CheckFrame(), Ok) << "all 2045 bytes count for the CRC";
}

TEST(Reply, ByteParserChecksRangesAndStopsWithoutAPreset) {
    // A byte after a complete frame is a fault that drops its values.
    ModbusPacket packet = Prepared(Rtu, MadePoll(3, 40, 2, P::ShortUint));
    Feed(packet, {0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x14, 0xDA, 0x3E});
    EXPECT_EQ(packet.ParseByte(0x00), ParseExtraBytes);
    EXPECT_TRUE(packet.items.Empty());
    // An echoed start outside the poll's ranges.
    ModbusPacket echo = Prepared(Rtu, MadePoll(6, 10, 1, P::ShortUint));
    echo.ranges = {{6, 10, 1, P::ShortUint}};
    EXPECT_EQ(Feed(echo, {0x01, 0x06, 0x00, 0x0B}), "0 0 0 6");
    EXPECT_EQ(echo.CheckFrame(), ParseAddressOutOfRange);
    // Without a preset from its ranges the parser stops at the count byte.
    ModbusPacket noPreset(Rtu, 0);
    EXPECT_EQ(noPreset.PrepareReply(MadePoll(3, 0, 1, P::ShortUint), {{4, 0, 1, P::ShortUint}}),
              ParseAddressOutOfRange);
    EXPECT_EQ(Feed(noPreset, {0x01, 0x03, 0x02}), "0 0 -1");
    ModbusPacket whole(Tcp, 0);
    whole.bytes = WithMbap({0x01, 0x03, 0x02, 0x00, 0x01});
    EXPECT_EQ(whole.DecodeReply(Tcp, 1, MadePoll(3, 0, 1, 42)), ParseInternalError);
}

TEST(CheckRange, ChoosesThePresetOfTheFirstRangeHoldingTheLastAddress) {
    auto range = [](uint16_t start, uint16_t count, std::vector<AddressRange> ranges) {
        ModbusPacket packet(Rtu, 0);
        packet.function = 3;
        packet.start = start;
        packet.count = count;
        packet.ranges = std::move(ranges);
        ParseResult result = packet.CheckRange();
        return std::make_pair(result, packet.preset ? packet.preset->id : -99);
    };
    using R = std::pair<ParseResult, int32_t>;
    EXPECT_EQ(range(0, 10, {}), R(Ok, P::ShortUint)) << "no ranges: SHORT UINT";
    EXPECT_EQ(range(8, 2,
                    {{3, 0, 5, P::LongUint},
                     {4, 0, 20, P::Float},
                     {3, 0, 20, P::RosemountFloat},
                     {3, 0, 20, P::Double}}),
              R(Ok, P::RosemountFloat));
    EXPECT_EQ(range(0, 10, {{4, 0, 100, 1}, {16, 0, 100, 1}}).first, ParseAddressOutOfRange);
    EXPECT_EQ(range(0, 11, {{3, 0, 10, 1}}).first, ParseAddressOutOfRange);
    EXPECT_EQ(range(0, 10, {{3, 0, 10, -1}}).first, ParseAddressOutOfRange);
    EXPECT_EQ(range(0, 10, {{3, 0, 10, 77}}).first, ParseInternalError);
    EXPECT_EQ(range(65530, 6, {{3, 65530, 6, 1}}).first, Ok) << "a range ending at 65535";
    EXPECT_EQ(range(65535, 2, {{3, 65535, 1, 1}, {3, 0, 10, 1}}).first, ParseAddressOutOfRange)
        << "a poll reaching past 65535 is in no range";
}

TEST(ParseReply, CommitsOnlyAnAcceptedReplyAndReportsWhatChanged) {
    DataMap map;
    map.Insert(0, DataItem::MakeUnsignedShort(10));  // unchanged
    map.Insert(1, DataItem::MakeUnsignedInt(0));     // another type: changes
    const Poll poll = MadePoll(3, 0, 3, P::ShortUint);
    const Bytes frame = WithCrc({0x01, 0x03, 0x06, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x07});
    std::vector<uint16_t> changed;
    for (const Bytes& rejected :
         {Frame(frame, frame.size() - 1, 0), Bytes{0x01, 0x83, 0x04, 0x40, 0xF3}}) {
        ModbusPacket bad(Rtu, 0);
        bad.bytes = rejected;
        EXPECT_FALSE(bad.ParseReply(Rtu, 1, poll, map, changed)) << ToHex(rejected);
        EXPECT_TRUE(changed.empty());
        EXPECT_EQ(map.Find(1)->item.type, DataItem::UnsignedInt)
            << "a rejected reply stores nothing";
    }
    ModbusPacket good(Rtu, 0);
    good.bytes = frame;
    EXPECT_TRUE(good.ParseReply(Rtu, 1, poll, map, changed));
    EXPECT_EQ(changed, (std::vector<uint16_t>{1}));
    EXPECT_EQ(map.Find(1)->item.type, DataItem::UnsignedShort);
    EXPECT_FALSE(map.Contains(2)) << "unmapped addresses are dropped";
    EXPECT_EQ(good.items.Size(), 3u) << "the packet keeps what it carried";

    map.Insert(4, DataItem::MakeBit(true));
    map.Insert(5, DataItem::MakeUnsignedShort(0));
    map.Insert(6, DataItem::MakeBit(true));
    ModbusPacket coils(Tcp, 0);
    coils.bytes = WithMbap({0x01, 0x01, 0x01, 0x01});  // coils 4..6: 1, 0, 0
    changed.clear();
    ASSERT_TRUE(coils.ParseReply(Tcp, 1, MadePoll(1, 4, 3, P::Bit), map, changed));
    EXPECT_EQ(changed, (std::vector<uint16_t>{5, 6})) << "coil 4 was already on; in order";
    EXPECT_EQ(map.Find(5)->item.type, DataItem::Bit) << "a stale 16-bit zero became a bit";

    // A copy commits into its own entries, also after the original lost one.
    DataMap copy = map;
    map.Erase(5);
    ModbusPacket again(Tcp, 0);
    again.bytes = WithMbap({0x01, 0x01, 0x01, 0x02});  // coils 4..6: 0, 1, 0
    changed.clear();
    ASSERT_TRUE(again.ParseReply(Tcp, 1, MadePoll(1, 4, 3, P::Bit), copy, changed));
    EXPECT_EQ(changed, (std::vector<uint16_t>{4, 5}));
    EXPECT_TRUE(map.Find(4)->item.AsBit()) << "the original keeps its values";
}

// Consumers walk the values in address order and look single ones up, so the
// flat list must stay sorted and hold each address once, also when item
// addresses wrap past 65535.
TEST(PacketItems, StayInAddressOrderWithOneValuePerAddress) {
    auto order = [](const PacketItems& items) {
        std::vector<uint16_t> addresses;
        for (const auto& [address, item] : items) addresses.push_back(address);
        return addresses;
    };
    ModbusPacket wrapped(Tcp, 0);
    wrapped.bytes = WithMbap({0x01, 0x03, 0x06, 0x00, 0x01, 0x00, 0x02, 0x00, 0x03});
    ASSERT_EQ(wrapped.DecodeReply(Tcp, 1, MadePoll(3, 65535, 3, P::ShortUint)), ParseMessageDone);
    EXPECT_EQ(order(wrapped.items), (std::vector<uint16_t>{0, 1, 65535}));
    ASSERT_NE(wrapped.items.Find(0), nullptr) << "the second register wrapped to address 0";
    EXPECT_EQ(wrapped.items.Find(0)->AsUnsignedShort(), 2);
    EXPECT_EQ(wrapped.items.Find(2), nullptr);
    DataMap map;
    for (uint16_t address : {0, 1, 2, 65535}) map.Insert(address, DataItem());
    std::vector<uint16_t> changed;
    ModbusPacket committed(Tcp, 0);
    committed.bytes = wrapped.bytes;
    ASSERT_TRUE(committed.ParseReply(Tcp, 1, MadePoll(3, 65535, 3, P::ShortUint), map, changed));
    EXPECT_EQ(changed, (std::vector<uint16_t>{65535, 0, 1})) << "changes come in decoding order";

    PacketItems items{{7, DataItem::MakeUnsignedShort(1)}, {3, DataItem::MakeUnsignedShort(2)},
                      {7, DataItem::MakeUnsignedShort(3)}, {5, DataItem::MakeUnsignedShort(4)}};
    EXPECT_EQ(order(items), (std::vector<uint16_t>{3, 5, 7}));
    EXPECT_EQ(items.Find(7)->AsUnsignedShort(), 3) << "a later value replaces the earlier one";
}
