// Replies made by real slaves (libmodbus and pymodbus, over TCP and on pty
// pairs, with MBAP or RTU framing) for known contents decode to exactly those
// contents, both as a whole (ParseReply, the TCP master's way) and fed one
// byte at a time (ParseByte, the serial master's way).
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>
#include <vector>

#include "MasterRequest.h"
#include "PeerSlave.h"
#include "SlaveMemory.h"
#include "common/Utf16.h"
#include "protocol/AddressRange.h"
#include "protocol/DataMap.h"
#include "protocol/FormatPreset.h"
#include "protocol/ModbusPacket.h"
#include "protocol/Poll.h"

namespace {

using Kind = PeerSlave::Kind;
using Values = std::vector<std::pair<uint16_t, DataItem>>;

// A mapped address no poll here touches: it must keep its value.
constexpr uint16_t kBystander = 9999;

struct ReadCase {
    const char* name;
    uint8_t function;
    uint16_t start;
    uint16_t size;
    int32_t preset;
    Values expected;  // in decoding order
};

struct WriteCase {
    const char* name;
    uint8_t function;
    uint16_t start;
    int32_t preset;
    std::vector<DataItem> values;
};

Values BitsOf(const std::vector<uint8_t>& bits, uint16_t start, uint16_t size) {
    Values values;
    for (uint16_t i = 0; i < size; ++i)
        values.emplace_back(start + i, DataItem::MakeBit(bits[start + i] != 0));
    return values;
}

// Item i of a register poll sits at start + i x step.
Values Spaced(uint16_t start, uint16_t step, const std::vector<DataItem>& items) {
    Values values;
    for (size_t i = 0; i < items.size(); ++i)
        values.emplace_back(static_cast<uint16_t>(start + i * step), items[i]);
    return values;
}

std::vector<ReadCase> ReadCases() {
    using D = DataItem;
    const SlaveMemory m = MakeSlaveMemory();
    std::vector<DataItem> counting;
    for (uint16_t i = 0; i < 125; ++i) counting.push_back(D::MakeUnsignedShort(1000 + 3 * i));
    return {
        {"Coils19From3", 1, 3, 19, PresetId::Bit, BitsOf(m.coils, 3, 19)},
        {"Coils2000From50", 1, 50, 2000, PresetId::Bit, BitsOf(m.coils, 50, 2000)},
        {"Inputs8From0", 2, 0, 8, PresetId::Bit, BitsOf(m.discrete, 0, 8)},
        {"Inputs10From5", 2, 5, 10, PresetId::Bit, BitsOf(m.discrete, 5, 10)},
        {"ShortUints", 3, 0, 4, PresetId::ShortUint,
         Spaced(0, 1,
                {D::MakeUnsignedShort(0), D::MakeUnsignedShort(1), D::MakeUnsignedShort(4660),
                 D::MakeUnsignedShort(65535)})},
        {"LongUints", 3, 10, 3, PresetId::LongUint,
         Spaced(10, 2,
                {D::MakeUnsignedInt(305419896), D::MakeUnsignedInt(4294967295u),
                 D::MakeUnsignedInt(70000)})},
        {"RosemountFloats", 3, 20, 2, PresetId::RosemountFloat,
         Spaced(20, 2, {D::MakeFloat(3.14159274f), D::MakeFloat(-2.5f)})},
        {"PhilipsFloats", 3, 30, 2, PresetId::PhilipsFloat,
         Spaced(30, 2, {D::MakeFloat(3.14159274f), D::MakeFloat(0.001f)})},
        {"PhilipsDoubles", 3, 40, 2, PresetId::PhilipsDouble,
         Spaced(40, 4, {D::MakeDouble(3.141592653589793), D::MakeDouble(1e300)})},
        {"ShortUints125", 3, 100, 125, PresetId::ShortUint, Spaced(100, 1, counting)},
        {"InputShortUints", 4, 0, 5, PresetId::ShortUint,
         Spaced(0, 1,
                {D::MakeUnsignedShort(7), D::MakeUnsignedShort(8), D::MakeUnsignedShort(9),
                 D::MakeUnsignedShort(40000), D::MakeUnsignedShort(65534)})},
        {"InputLongUints", 4, 10, 2, PresetId::LongUint,
         Spaced(10, 2, {D::MakeUnsignedInt(1), D::MakeUnsignedInt(2147483648u)})},
        {"InputPhilipsFloats", 4, 20, 2, PresetId::PhilipsFloat,
         Spaced(20, 2, {D::MakeFloat(123.5f), D::MakeFloat(-7.25f)})},
    };
}

std::vector<WriteCase> WriteCases() {
    using D = DataItem;
    constexpr uint16_t c = kCoilWriteArea;     // even coils start off, odd ones on
    constexpr uint16_t h = kHoldingWriteArea;  // registers start as AAAA
    return {
        {"CoilOn", 5, c, PresetId::Bit, {D::MakeBit(true)}},
        {"CoilOff", 5, c + 1, PresetId::Bit, {D::MakeBit(false)}},
        {"Register", 6, h, PresetId::ShortUint, {D::MakeUnsignedShort(4660)}},
        {"Coils10",
         15,
         c + 10,
         PresetId::Bit,
         {D::MakeBit(true), D::MakeBit(true), D::MakeBit(false), D::MakeBit(false),
          D::MakeBit(true), D::MakeBit(false), D::MakeBit(true), D::MakeBit(true),
          D::MakeBit(false), D::MakeBit(true)}},
        {"ShortUints",
         16,
         h + 2,
         PresetId::ShortUint,
         {D::MakeUnsignedShort(1), D::MakeUnsignedShort(0xABCD), D::MakeUnsignedShort(65535)}},
        {"LongUints",
         16,
         h + 6,
         PresetId::LongUint,
         {D::MakeUnsignedInt(0xDEADBEEF), D::MakeUnsignedInt(42)}},
        {"RosemountFloats",
         16,
         h + 10,
         PresetId::RosemountFloat,
         {D::MakeFloat(3.14159274f), D::MakeFloat(-2.5f)}},
        {"PhilipsFloat", 16, h + 14, PresetId::PhilipsFloat, {D::MakeFloat(0.001f)}},
        {"PhilipsDoubles",
         16,
         h + 18,
         PresetId::PhilipsDouble,
         {D::MakeDouble(3.141592653589793), D::MakeDouble(-1e-300)}},
    };
}

std::string Describe(const DataItem& item) {
    std::ostringstream text;
    text << "type " << item.type << " value " << Utf16::ToUtf8(item.FormatText()) << " (raw 0x"
         << std::hex << item.RawValue() << ")";
    return text.str();
}

// Same type and the same bits: a value decoded one ULP off is a fault too.
bool SameValue(const DataItem& a, const DataItem& b) {
    return a.type == b.type && a.RawValue() == b.RawValue() && a.text == b.text;
}

void ExpectValues(const Values& expected, const std::map<uint16_t, DataItem>& got,
                  const std::string& how) {
    EXPECT_EQ(got.size(), expected.size()) << how << ": number of decoded items";
    // The first few wrong addresses say what went wrong; 2000 of them would not.
    int wrong = 0;
    for (const auto& [address, item] : expected) {
        const auto found = got.find(address);
        const bool missing = found == got.end();
        if (!missing && SameValue(found->second, item)) continue;
        if (++wrong > 5) continue;
        if (missing) {
            ADD_FAILURE() << how << ": nothing decoded at address " << address;
        } else {
            ADD_FAILURE() << how << ": address " << address << " decoded to "
                          << Describe(found->second) << ", the slave holds " << Describe(item);
        }
    }
    EXPECT_EQ(wrong, 0) << how << ": addresses missing or decoded wrongly";
}

// What the byte parser made of a reply fed one byte at a time, prepared as the
// serial master prepares it: the poll, and one address range for the poll.
struct ByteParse {
    std::vector<int> results;
    ParseResult frame = ParseInternalError;
    std::map<uint16_t, DataItem> items;
    uint8_t exceptionCode = 0;
};

ByteParse FeedByteByByte(uint8_t protocol, const Poll& poll, const Bytes& reply) {
    ModbusPacket packet(protocol, 0);
    const uint16_t span = static_cast<uint16_t>(poll.size * StepForPreset(poll.formatpreset));
    const AddressRange range{poll.FunctionCode(), poll.start, span, poll.formatpreset};
    ByteParse parse;
    EXPECT_EQ(packet.PrepareReply(poll, {range}), ParseByteOk) << "preparing for the reply";
    for (const uint8_t b : reply) parse.results.push_back(packet.ParseByte(b));
    parse.frame = packet.CheckFrame();
    parse.items = packet.items;
    parse.exceptionCode = packet.exceptionCode;
    return parse;
}

// A sound reply: every byte accepted, the last one ends an MBAP message.
std::vector<int> CleanResults(uint8_t protocol, size_t size) {
    std::vector<int> results(size, ParseByteOk);
    if (protocol == 0 && size > 0) results.back() = ParseMessageDone;
    return results;
}

std::string ResultsText(const std::vector<int>& results) {
    std::string text;
    for (const int r : results) text += std::to_string(r) + " ";
    return text;
}

class PeerReplies : public testing::TestWithParam<Kind> {
  protected:
    static void TearDownTestSuite() { slaves_.clear(); }

    void SetUp() override {
        auto& slave = slaves_[GetParam()];
        if (!slave) {
            slave = std::make_unique<PeerSlave>(GetParam());
            std::string error;
            if (!slave->Start(error)) startErrors_[GetParam()] = error;
        }
        ASSERT_EQ(startErrors_[GetParam()], "") << PeerSlave::Name(GetParam()) << " did not start";
        slave_ = slave.get();
    }

    uint8_t protocol() const { return slave_->protocol(); }

    // Sends the poll's request (with the values of a write) and returns the reply.
    bool Ask(const Poll& poll, const std::vector<DataItem>& values, Bytes& reply) {
        Bytes request;
        std::string error;
        if (!BuildMasterRequest(protocol(), ++transactionId_, kSlaveAddress, poll, values, request,
                                error) ||
            !slave_->Exchange(request, reply, error)) {
            ADD_FAILURE() << error;
            return false;
        }
        return true;
    }

    // Decodes a read reply both ways and compares with what the slave holds.
    void ExpectDecodes(const Poll& poll, const Bytes& reply, const Values& expected) {
        DataMap map;
        for (const auto& [address, item] : expected) map.Insert(address, DataItem());
        map.Insert(kBystander, DataItem::MakeUnsignedShort(77));
        ModbusPacket packet(protocol(), 0);
        packet.bytes = reply;
        std::vector<uint16_t> changed;
        ASSERT_TRUE(packet.ParseReply(protocol(), kSlaveAddress, poll, map, changed))
            << "ParseReply refused " << ToHex(reply);
        std::map<uint16_t, DataItem> stored;
        for (const auto& [address, entry] : map.entries())
            if (address != kBystander) stored[address] = entry.item;
        ExpectValues(expected, stored, "ParseReply");
        // Every address was Unknown before, so each one changed, in decoding order.
        std::vector<uint16_t> addresses;
        for (const auto& value : expected) addresses.push_back(value.first);
        EXPECT_EQ(changed, addresses) << "changed addresses";
        EXPECT_EQ(map.Find(kBystander)->item.AsUnsignedShort(), 77) << "an unpolled address";

        const ByteParse parse = FeedByteByByte(protocol(), poll, reply);
        EXPECT_EQ(ResultsText(parse.results), ResultsText(CleanResults(protocol(), reply.size())))
            << "ParseByte results for " << ToHex(reply);
        EXPECT_EQ(parse.frame, ParseByteOk) << "CheckFrame of " << ToHex(reply);
        ExpectValues(expected, parse.items, "ParseByte");
    }

    PeerSlave* slave_ = nullptr;
    static inline uint16_t transactionId_ = 0;
    static inline std::map<Kind, std::unique_ptr<PeerSlave>> slaves_;
    static inline std::map<Kind, std::string> startErrors_;
};

TEST_P(PeerReplies, ReadsDecodeToWhatTheSlaveHolds) {
    for (const ReadCase& c : ReadCases()) {
        SCOPED_TRACE(c.name);
        Poll poll;
        ASSERT_TRUE(MakePoll(c.function, c.start, c.size, c.preset, poll));
        Bytes reply;
        if (!Ask(poll, {}, reply)) continue;
        ExpectDecodes(poll, reply, c.expected);
    }
}

TEST_P(PeerReplies, WriteEchoesAreAcceptedAndTheWrittenValuesReadBack) {
    for (const WriteCase& c : WriteCases()) {
        SCOPED_TRACE(c.name);
        Poll poll;
        ASSERT_TRUE(
            MakePoll(c.function, c.start, static_cast<uint16_t>(c.values.size()), c.preset, poll));
        Bytes echo;
        if (!Ask(poll, c.values, echo)) continue;

        DataMap map;
        map.Insert(c.start, DataItem::MakeUnsignedShort(5));
        ModbusPacket packet(protocol(), 0);
        packet.bytes = echo;
        std::vector<uint16_t> changed;
        EXPECT_TRUE(packet.ParseReply(protocol(), kSlaveAddress, poll, map, changed))
            << "ParseReply refused the echo " << ToHex(echo);
        EXPECT_TRUE(changed.empty()) << "an echo carries no values";
        EXPECT_EQ(map.Find(c.start)->item.AsUnsignedShort(), 5) << "an echo stores nothing";
        const ByteParse parse = FeedByteByByte(protocol(), poll, echo);
        EXPECT_EQ(ResultsText(parse.results), ResultsText(CleanResults(protocol(), echo.size())))
            << "ParseByte results for " << ToHex(echo);
        EXPECT_EQ(parse.frame, ParseByteOk) << "CheckFrame of " << ToHex(echo);

        // Read back what the slave stored: the values the write meant to send.
        const bool coils = c.function == 5 || c.function == 15;
        Poll readBack;
        ASSERT_TRUE(MakePoll(coils ? 1 : 3, c.start, static_cast<uint16_t>(c.values.size()),
                             c.preset, readBack));
        Bytes reply;
        if (!Ask(readBack, {}, reply)) continue;
        ExpectDecodes(readBack, reply,
                      Spaced(c.start, coils ? 1 : StepForPreset(c.preset), c.values));
    }
}

TEST_P(PeerReplies, ExceptionRepliesAreRecognisedAndStoreNothing) {
    // Both slaves hold 300 holding registers; 5000 is outside them.
    Poll poll;
    ASSERT_TRUE(MakePoll(3, 5000, 2, PresetId::ShortUint, poll));
    Bytes reply;
    ASSERT_TRUE(Ask(poll, {}, reply));

    ModbusPacket packet(protocol(), 0);
    packet.bytes = reply;
    const DecodedReply decoded = packet.DecodeReply(protocol(), kSlaveAddress, poll);
    EXPECT_EQ(decoded.result, ParseExceptionReply) << ToHex(reply);
    EXPECT_TRUE(packet.isException);
    EXPECT_EQ(packet.exceptionCode, 2) << "Illegal Data Address";
    EXPECT_TRUE(decoded.items.empty());

    DataMap map;
    map.Insert(5000, DataItem::MakeUnsignedShort(5));
    ModbusPacket again(protocol(), 0);
    again.bytes = reply;
    std::vector<uint16_t> changed;
    EXPECT_FALSE(again.ParseReply(protocol(), kSlaveAddress, poll, map, changed));
    EXPECT_TRUE(changed.empty());
    EXPECT_EQ(map.Find(5000)->item.AsUnsignedShort(), 5);

    const ByteParse parse = FeedByteByByte(protocol(), poll, reply);
    EXPECT_EQ(parse.frame, ParseExceptionReply) << "CheckFrame of " << ToHex(reply);
    EXPECT_EQ(parse.exceptionCode, 2);
    EXPECT_TRUE(parse.items.empty());
}

TEST_P(PeerReplies, DamagedRepliesChangeNothing) {
    Poll poll;
    ASSERT_TRUE(MakePoll(3, 0, 4, PresetId::ShortUint, poll));
    Bytes reply;
    ASSERT_TRUE(Ask(poll, {}, reply));

    std::vector<std::pair<std::string, Bytes>> damaged;
    damaged.emplace_back("last byte missing", Bytes(reply.begin(), reply.end() - 1));
    if (protocol() == 1) {
        Bytes flipped = reply;
        flipped[4] ^= 0x01;  // a data bit; the CRC no longer matches
        damaged.emplace_back("one data bit flipped", flipped);
    }
    for (const auto& [what, bytes] : damaged) {
        SCOPED_TRACE(what);
        DataMap map;
        for (uint16_t a = 0; a < 4; ++a) map.Insert(a, DataItem::MakeUnsignedShort(5));
        ModbusPacket packet(protocol(), 0);
        packet.bytes = bytes;
        std::vector<uint16_t> changed;
        EXPECT_FALSE(packet.ParseReply(protocol(), kSlaveAddress, poll, map, changed))
            << ToHex(bytes);
        EXPECT_TRUE(changed.empty());
        for (uint16_t a = 0; a < 4; ++a)
            EXPECT_EQ(map.Find(a)->item.AsUnsignedShort(), 5) << "address " << a;
        const ByteParse parse = FeedByteByByte(protocol(), poll, bytes);
        EXPECT_NE(parse.frame, ParseByteOk) << "CheckFrame of " << ToHex(bytes);
    }
}

INSTANTIATE_TEST_SUITE_P(FromRealSlaves, PeerReplies,
                         testing::Values(Kind::LibmodbusTcp, Kind::LibmodbusRtu, Kind::PymodbusTcp,
                                         Kind::PymodbusRtuOverTcp, Kind::PymodbusRtu),
                         [](const testing::TestParamInfo<Kind>& info) {
                             return PeerSlave::Name(info.param);
                         });

}  // namespace
