// The protocol core against real peers. Requests BuildRequest makes equal byte
// for byte what libmodbus's client sends, with MBAP and RTU framing. Replies
// real slaves make for
// known contents (libmodbus and pymodbus, over TCP and on pty pairs, MBAP and
// RTU framing) decode to exactly those contents, both whole (ParseReply, the
// TCP master's way) and fed one byte at a time (ParseByte and CheckFrame, the
// serial master's way); what a slave refuses or a damaged reply stores nothing.
#include <gtest/gtest.h>
#include <modbus.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <map>
#include <sstream>

#include "PeerSlave.h"
#include "SlaveMemory.h"
#include "common/Utf16.h"
#include "protocol/AddressRange.h"
#include "protocol/BuildError.h"
#include "protocol/DataMap.h"
#include "protocol/FormatPreset.h"
#include "protocol/ModbusPacket.h"
#include "protocol/Poll.h"

namespace {

using namespace std::chrono_literals;
using D = DataItem;
using Kind = PeerSlave::Kind;
using Bytes = std::vector<uint8_t>;
using Values = std::vector<std::pair<uint16_t, DataItem>>;  // address and value, in decoding order

std::string ToHex(const Bytes& bytes) {
    std::string text;
    char hex[4];
    for (const uint8_t b : bytes) text += (std::snprintf(hex, sizeof hex, " %02X", b), hex);
    return text.empty() ? text : text.substr(1);
}

// What arrives on fd until it has been silent for `silence` after the first
// byte (or for `first` before it), as a serial master delimits a frame.
Bytes ReceiveUntilSilence(int fd, std::chrono::milliseconds silence,
                          std::chrono::milliseconds first) {
    Bytes frame;
    uint8_t chunk[512];
    for (pollfd p{fd, POLLIN, 0};
         poll(&p, 1, static_cast<int>((frame.empty() ? first : silence).count())) > 0;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n <= 0) break;
        frame.insert(frame.end(), chunk, chunk + n);
    }
    return frame;
}

Poll TestPoll(uint8_t function, uint16_t start, size_t size, int32_t preset) {
    Poll poll;
    EXPECT_TRUE(MakePoll(function, start, static_cast<uint16_t>(size), preset, poll))
        << "function " << int(function) << " at " << start;
    return poll;
}

// Builds a request as the masters do: the poll's set-up, the values of a write
// at their addresses (coils one address each, registers one item per step, in
// poll order), then BuildRequest.
Bytes MasterRequest(uint8_t framing, uint16_t transactionId, const Poll& poll,
                    const std::vector<DataItem>& values) {
    ModbusPacket packet(framing, 1);
    packet.transactionId = transactionId;
    packet.address = kSlaveAddress;
    packet.function = poll.FunctionCode();
    packet.SetFromPoll(poll);
    const uint16_t step = packet.function == 15 ? 1 : StepForPreset(poll.formatpreset);
    for (size_t i = 0; i < values.size(); ++i)
        packet.items[static_cast<uint16_t>(poll.start + i * step)] = values[i];
    EXPECT_TRUE(packet.BuildRequest(framing)) << Utf16::ToUtf8(BuildErrorText(packet.buildError));
    return packet.bytes;
}

// ---- Request bytes against libmodbus's client ----

using ClientCall = std::function<int(modbus_t*)>;

// libmodbus's client writes the request into one end of a socket pair that
// never answers, so it gives up after a short response timeout and the request
// waits at the other end. A new TCP context numbers its first request 1.
Bytes LibmodbusRequest(uint8_t framing, const ClientCall& call) {
    int ends[2] = {-1, -1};
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    modbus_t* ctx = framing == 0 ? modbus_new_tcp("127.0.0.1", 502)
                                 : modbus_new_rtu("/dev/null", 115200, 'N', 8, 1);
    modbus_set_slave(ctx, kSlaveAddress);
    modbus_set_socket(ctx, ends[0]);
    modbus_set_response_timeout(ctx, 0, 30000);
    call(ctx);
    const Bytes request = ReceiveUntilSilence(ends[1], 10ms, 1000ms);
    modbus_free(ctx);
    close(ends[0]);
    close(ends[1]);
    return request;
}

struct RequestCase {
    const char* name;
    Poll poll;
    std::vector<DataItem> values;  // what a write sends, in poll order
    ClientCall call;               // the same request through libmodbus
};

std::vector<DataItem> Counting(size_t n, uint16_t step) {
    std::vector<DataItem> v;
    for (size_t i = 0; i < n; ++i)
        v.push_back(D::MakeUnsignedShort(static_cast<uint16_t>(i * step)));
    return v;
}

// clang-format off
std::vector<RequestCase> RequestCases() {
    return {
        {"read 37 coils", TestPoll(1, 19, 37, PresetId::Bit), {},
         [](modbus_t* c) { uint8_t b[37]; return modbus_read_bits(c, 19, 37, b); }},
        {"read 2000 coils from 63000", TestPoll(1, 63000, 2000, PresetId::Bit), {},
         [](modbus_t* c) { static uint8_t b[2000]; return modbus_read_bits(c, 63000, 2000, b); }},
        {"read 10 inputs", TestPoll(2, 1000, 10, PresetId::Bit), {},
         [](modbus_t* c) { uint8_t b[10]; return modbus_read_input_bits(c, 1000, 10, b); }},
        {"read 2 registers", TestPoll(3, 0x0010, 2, PresetId::ShortUint), {},
         [](modbus_t* c) { uint16_t r[2]; return modbus_read_registers(c, 0x0010, 2, r); }},
        {"read 125 registers from 65400", TestPoll(3, 65400, 125, PresetId::ShortUint), {},
         [](modbus_t* c) { uint16_t r[125]; return modbus_read_registers(c, 65400, 125, r); }},
        {"read 10 LONG UINTs", TestPoll(3, 100, 10, PresetId::LongUint), {},
         [](modbus_t* c) { uint16_t r[20]; return modbus_read_registers(c, 100, 20, r); }},
        {"read 10 PHILIPS DOUBLEs", TestPoll(3, 7, 10, PresetId::PhilipsDouble), {},
         [](modbus_t* c) { uint16_t r[40]; return modbus_read_registers(c, 7, 40, r); }},
        {"read 5 input ROSEMOUNT FLOATs", TestPoll(4, 300, 5, PresetId::RosemountFloat), {},
         [](modbus_t* c) { uint16_t r[10]; return modbus_read_input_registers(c, 300, 10, r); }},
        {"write coil on", TestPoll(5, 172, 1, PresetId::Bit), {D::MakeBit(true)},
         [](modbus_t* c) { return modbus_write_bit(c, 172, 1); }},
        {"write coil 65535 off", TestPoll(5, 65535, 1, PresetId::Bit), {D::MakeBit(false)},
         [](modbus_t* c) { return modbus_write_bit(c, 65535, 0); }},
        {"write register", TestPoll(6, 40000, 1, PresetId::ShortUint), {D::MakeUnsignedShort(65535)},
         [](modbus_t* c) { return modbus_write_register(c, 40000, 65535); }},
        {"write 10 coils, first and last on", TestPoll(15, 19, 10, PresetId::Bit),
         {D::MakeBit(true), D::MakeBit(false), D::MakeBit(false), D::MakeBit(false), D::MakeBit(false),
          D::MakeBit(false), D::MakeBit(false), D::MakeBit(false), D::MakeBit(false), D::MakeBit(true)},
         [](modbus_t* c) { const uint8_t b[] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 1}; return modbus_write_bits(c, 19, 10, b); }},
        {"write 3 registers", TestPoll(16, 0x0100, 3, PresetId::ShortUint),
         {D::MakeUnsignedShort(1), D::MakeUnsignedShort(0xABCD), D::MakeUnsignedShort(65535)},
         [](modbus_t* c) { const uint16_t r[] = {1, 0xABCD, 65535}; return modbus_write_registers(c, 0x0100, 3, r); }},
        {"write 3 LONG UINTs, high word first", TestPoll(16, 500, 3, PresetId::LongUint),
         {D::MakeUnsignedInt(0x12345678), D::MakeUnsignedInt(0xFFFFFFFF), D::MakeUnsignedInt(70000)},
         [](modbus_t* c) { const uint16_t r[] = {0x1234, 0x5678, 0xFFFF, 0xFFFF, 0x0001, 0x1170};
                           return modbus_write_registers(c, 500, 6, r); }},
        {"write 2 ROSEMOUNT FLOATs, low word first", TestPoll(16, 20, 2, PresetId::RosemountFloat),
         {D::MakeFloat(3.14159274f), D::MakeFloat(-2.5f)},  // 40490FDB, C0200000
         [](modbus_t* c) { const uint16_t r[] = {0x0FDB, 0x4049, 0x0000, 0xC020}; return modbus_write_registers(c, 20, 4, r); }},
        {"write 2 PHILIPS FLOATs, high word first", TestPoll(16, 30, 2, PresetId::PhilipsFloat),
         {D::MakeFloat(3.14159274f), D::MakeFloat(0.001f)},  // 40490FDB, 3A83126F
         [](modbus_t* c) { const uint16_t r[] = {0x4049, 0x0FDB, 0x3A83, 0x126F}; return modbus_write_registers(c, 30, 4, r); }},
        {"write 2 PHILIPS DOUBLEs", TestPoll(16, 40, 2, PresetId::PhilipsDouble),
         {D::MakeDouble(3.141592653589793), D::MakeDouble(1e300)},  // 400921FB54442D18, 7E37E43C8800759C
         [](modbus_t* c) { const uint16_t r[] = {0x4009, 0x21FB, 0x5444, 0x2D18, 0x7E37, 0xE43C, 0x8800, 0x759C};
                           return modbus_write_registers(c, 40, 8, r); }},
        {"write 123 registers", TestPoll(16, 1000, 123, PresetId::ShortUint), Counting(123, 500),
         [](modbus_t* c) { uint16_t r[123]; for (uint16_t i = 0; i < 123; ++i) r[i] = static_cast<uint16_t>(i * 500);
                           return modbus_write_registers(c, 1000, 123, r); }},
    };
}
// clang-format on

TEST(RequestBytes, EqualWhatTheLibmodbusClientSendsForEveryFunctionWithBothFramings) {
    for (const RequestCase& c : RequestCases()) {
        for (const uint8_t framing : {0, 1}) {
            SCOPED_TRACE(std::string(c.name) + (framing == 0 ? " over TCP" : " on RTU"));
            EXPECT_EQ(ToHex(MasterRequest(framing, 1, c.poll, c.values)),
                      ToHex(LibmodbusRequest(framing, c.call)));
        }
    }
}

// ---- Replies from real slaves ----

// Item i of a poll sits at start + i x step.
Values Spaced(uint16_t start, uint16_t step, const std::vector<DataItem>& items) {
    Values values;
    for (size_t i = 0; i < items.size(); ++i)
        values.emplace_back(static_cast<uint16_t>(start + i * step), items[i]);
    return values;
}

Values BitsOf(const std::vector<uint8_t>& bits, uint16_t start, uint16_t size) {
    std::vector<DataItem> items;
    for (uint16_t i = 0; i < size; ++i) items.push_back(D::MakeBit(bits[start + i] != 0));
    return Spaced(start, 1, items);
}

struct ReadCase {
    const char* name;
    Poll poll;
    Values expected;
};

// What SlaveMemory spells out, word by word.
std::vector<ReadCase> ReadCases() {
    const SlaveMemory m = MakeSlaveMemory();
    std::vector<DataItem> counting;
    for (uint16_t i = 0; i < 125; ++i) counting.push_back(D::MakeUnsignedShort(1000 + 3 * i));
    auto u16 = [](std::initializer_list<uint16_t> v) {
        std::vector<DataItem> items;
        for (const uint16_t x : v) items.push_back(D::MakeUnsignedShort(x));
        return items;
    };
    return {
        {"19 coils", TestPoll(1, 3, 19, PresetId::Bit), BitsOf(m.coils, 3, 19)},
        {"2000 coils", TestPoll(1, 50, 2000, PresetId::Bit), BitsOf(m.coils, 50, 2000)},
        {"10 inputs", TestPoll(2, 5, 10, PresetId::Bit), BitsOf(m.discrete, 5, 10)},
        {"SHORT UINTs", TestPoll(3, 0, 4, PresetId::ShortUint),
         Spaced(0, 1, u16({0, 1, 4660, 65535}))},
        {"LONG UINTs", TestPoll(3, 10, 3, PresetId::LongUint),
         Spaced(10, 2,
                {D::MakeUnsignedInt(305419896), D::MakeUnsignedInt(4294967295u),
                 D::MakeUnsignedInt(70000)})},
        {"ROSEMOUNT FLOATs", TestPoll(3, 20, 2, PresetId::RosemountFloat),
         Spaced(20, 2, {D::MakeFloat(3.14159274f), D::MakeFloat(-2.5f)})},
        {"PHILIPS FLOATs", TestPoll(3, 30, 2, PresetId::PhilipsFloat),
         Spaced(30, 2, {D::MakeFloat(3.14159274f), D::MakeFloat(0.001f)})},
        {"PHILIPS DOUBLEs", TestPoll(3, 40, 2, PresetId::PhilipsDouble),
         Spaced(40, 4, {D::MakeDouble(3.141592653589793), D::MakeDouble(1e300)})},
        {"125 registers", TestPoll(3, 100, 125, PresetId::ShortUint), Spaced(100, 1, counting)},
        {"input SHORT UINTs", TestPoll(4, 0, 5, PresetId::ShortUint),
         Spaced(0, 1, u16({7, 8, 9, 40000, 65534}))},
        {"input LONG UINTs", TestPoll(4, 10, 2, PresetId::LongUint),
         Spaced(10, 2, {D::MakeUnsignedInt(1), D::MakeUnsignedInt(2147483648u)})},
        {"input PHILIPS FLOATs", TestPoll(4, 20, 2, PresetId::PhilipsFloat),
         Spaced(20, 2, {D::MakeFloat(123.5f), D::MakeFloat(-7.25f)})},
    };
}

struct WriteCase {
    const char* name;
    uint8_t function;
    uint16_t start;
    int32_t preset;
    std::vector<DataItem> values;
};

std::vector<WriteCase> WriteCases() {
    constexpr uint16_t c = kCoilWriteArea;     // even coils start off, odd ones on
    constexpr uint16_t h = kHoldingWriteArea;  // registers start as AAAA
    const bool pattern[] = {1, 1, 0, 0, 1, 0, 1, 1, 0, 1};
    std::vector<DataItem> coils;
    for (const bool b : pattern) coils.push_back(D::MakeBit(b));
    return {
        {"coil on", 5, c, PresetId::Bit, {D::MakeBit(true)}},
        {"coil off", 5, c + 1, PresetId::Bit, {D::MakeBit(false)}},
        {"register", 6, h, PresetId::ShortUint, {D::MakeUnsignedShort(4660)}},
        {"10 coils", 15, c + 10, PresetId::Bit, coils},
        {"SHORT UINTs",
         16,
         h + 2,
         PresetId::ShortUint,
         {D::MakeUnsignedShort(1), D::MakeUnsignedShort(0xABCD), D::MakeUnsignedShort(65535)}},
        {"LONG UINTs",
         16,
         h + 6,
         PresetId::LongUint,
         {D::MakeUnsignedInt(0xDEADBEEF), D::MakeUnsignedInt(42)}},
        {"ROSEMOUNT FLOATs",
         16,
         h + 10,
         PresetId::RosemountFloat,
         {D::MakeFloat(3.14159274f), D::MakeFloat(-2.5f)}},
        {"PHILIPS DOUBLEs",
         16,
         h + 18,
         PresetId::PhilipsDouble,
         {D::MakeDouble(3.141592653589793), D::MakeDouble(-1e-300)}},
    };
}

// "address type raw-bits" of every value in order, compared as text: a value
// decoded one ULP off, of another type or at another address shows in the diff.
std::string Text(const Values& values) {
    std::ostringstream text;
    for (const auto& [address, item] : values)
        text << address << ' ' << item.type << ' ' << std::hex << item.RawValue() << std::dec
             << "; ";
    return text.str();
}

std::string Text(const std::map<uint16_t, DataItem>& items) {
    return Text(Values(items.begin(), items.end()));
}

// Feeds a reply one byte at a time, prepared as the serial master prepares it
// (the poll, one address range for it); the result of every byte. A sound
// reply has every byte accepted, the last one ending an MBAP message.
std::string FeedByteByByte(ModbusPacket& packet, const Poll& poll, const Bytes& reply) {
    const uint16_t span = static_cast<uint16_t>(poll.size * StepForPreset(poll.formatpreset));
    EXPECT_EQ(packet.PrepareReply(
                  poll, {AddressRange{poll.FunctionCode(), poll.start, span, poll.formatpreset}}),
              ParseByteOk);
    std::string results;
    for (const uint8_t b : reply) results += std::to_string(packet.ParseByte(b)) + " ";
    return results;
}

std::string Clean(uint8_t framing, size_t size) {
    std::string results;
    for (size_t i = 0; i < size; ++i)
        results +=
            std::to_string(framing == 0 && i + 1 == size ? ParseMessageDone : ParseByteOk) + " ";
    return results;
}

class PeerReplies : public testing::TestWithParam<Kind> {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(peer_.Start(GetParam(), 115200, error)) << error;
        fd_ = peer_.Connect(error);
        ASSERT_GE(fd_, 0) << error;
    }
    void TearDown() override {
        if (fd_ >= 0) close(fd_);
    }

    uint8_t framing() const { return peer_.framing(); }

    // Sends the poll's request (with the values of a write) and returns what
    // arrives until the link has been silent 100 ms: well beyond the gaps of a
    // peer that writes its reply at once, well below the wait for one.
    Bytes Ask(const Poll& poll, const std::vector<DataItem>& values = {}) {
        const Bytes request = MasterRequest(framing(), ++transactionId_, poll, values);
        EXPECT_EQ(write(fd_, request.data(), request.size()), static_cast<ssize_t>(request.size()));
        const Bytes reply = ReceiveUntilSilence(fd_, 100ms, 3s);
        EXPECT_FALSE(reply.empty()) << "no reply to " << ToHex(request);
        return reply;
    }

    // Decodes a reply both ways and compares with what the slave holds (every
    // address Unknown before, so each one changes, in order); an address no
    // poll touches keeps its value. `expected` empty: a write echo, which stores nothing.
    void ExpectDecodes(const Poll& poll, const Bytes& reply, Values expected) {
        DataMap map;
        std::vector<uint16_t> changed, addresses;
        for (const auto& [address, item] : expected)
            map.Insert(address, DataItem()), addresses.push_back(address);
        map.Insert(9999, D::MakeUnsignedShort(77));
        ModbusPacket whole(framing(), 0);
        whole.bytes = reply;
        EXPECT_TRUE(whole.ParseReply(framing(), kSlaveAddress, poll, map, changed)) << ToHex(reply);
        EXPECT_EQ(changed, addresses) << "changed addresses";
        std::map<uint16_t, DataItem> stored;
        for (const auto& [address, entry] : map.entries()) stored[address] = entry.item;
        ModbusPacket bytewise(framing(), 0);
        EXPECT_EQ(FeedByteByByte(bytewise, poll, reply), Clean(framing(), reply.size()))
            << ToHex(reply);
        EXPECT_EQ(bytewise.CheckFrame(), ParseByteOk) << ToHex(reply);
        // The byte parser keeps what a 5 or 6 echo carries; only ParseReply commits.
        if (!expected.empty()) {
            EXPECT_EQ(Text(bytewise.items), Text(expected)) << "ParseByte";
        }
        expected.emplace_back(9999, D::MakeUnsignedShort(77));
        EXPECT_EQ(Text(stored), Text(expected)) << "ParseReply";
    }

    // A reply that must be refused: ParseReply stores nothing, CheckFrame fails.
    void ExpectRefused(const Poll& poll, const Bytes& reply, ParseResult frame) {
        DataMap map;
        map.Insert(poll.start, D::MakeUnsignedShort(5));
        ModbusPacket whole(framing(), 0), bytewise(framing(), 0);
        whole.bytes = reply;
        std::vector<uint16_t> changed;
        EXPECT_FALSE(whole.ParseReply(framing(), kSlaveAddress, poll, map, changed))
            << ToHex(reply);
        EXPECT_TRUE(changed.empty());
        EXPECT_EQ(map.Find(poll.start)->item.AsUnsignedShort(), 5) << "nothing stored";
        FeedByteByByte(bytewise, poll, reply);
        if (frame == ParseByteOk)
            EXPECT_NE(bytewise.CheckFrame(), ParseByteOk) << ToHex(reply);
        else
            EXPECT_EQ(bytewise.CheckFrame(), frame) << ToHex(reply);
    }

    PeerSlave peer_;
    int fd_ = -1;
    uint16_t transactionId_ = 0;
};

TEST_P(PeerReplies, ReadsDecodeToWhatTheSlaveHolds) {
    for (const ReadCase& c : ReadCases()) {
        SCOPED_TRACE(c.name);
        ExpectDecodes(c.poll, Ask(c.poll), c.expected);
    }
}

TEST_P(PeerReplies, WriteEchoesAreAcceptedAndTheWrittenValuesReadBack) {
    for (const WriteCase& c : WriteCases()) {
        SCOPED_TRACE(c.name);
        const Poll poll = TestPoll(c.function, c.start, c.values.size(), c.preset);
        ExpectDecodes(poll, Ask(poll, c.values), {});
        const bool coils = c.function == 5 || c.function == 15;
        const Poll readBack = TestPoll(coils ? 1 : 3, c.start, c.values.size(), c.preset);
        ExpectDecodes(readBack, Ask(readBack),
                      Spaced(c.start, coils ? 1 : StepForPreset(c.preset), c.values));
    }
}

TEST_P(PeerReplies, ExceptionAndDamagedRepliesStoreNothing) {
    // Every slave holds 300 holding registers; 5000 is outside them.
    const Poll outside = TestPoll(3, 5000, 2, PresetId::ShortUint);
    const Bytes exception = Ask(outside);
    ModbusPacket whole(framing(), 0), bytewise(framing(), 0);
    whole.bytes = exception;
    EXPECT_EQ(whole.DecodeReply(framing(), kSlaveAddress, outside).result, ParseExceptionReply)
        << ToHex(exception);
    FeedByteByByte(bytewise, outside, exception);
    EXPECT_TRUE(whole.isException && bytewise.isException);
    EXPECT_EQ(whole.exceptionCode, 2) << "Illegal Data Address";
    EXPECT_EQ(bytewise.exceptionCode, 2) << "Illegal Data Address";
    EXPECT_TRUE(bytewise.items.empty());
    ExpectRefused(outside, exception, ParseExceptionReply);

    const Poll poll = TestPoll(3, 0, 4, PresetId::ShortUint);
    const Bytes reply = Ask(poll);
    ASSERT_GT(reply.size(), 5u);
    SCOPED_TRACE("last byte missing");
    ExpectRefused(poll, Bytes(reply.begin(), reply.end() - 1), ParseByteOk);
    if (framing() == 1) {
        SCOPED_TRACE("one data bit flipped: the CRC no longer matches");
        Bytes flipped = reply;
        flipped[4] ^= 0x01;
        ExpectRefused(poll, flipped, ParseByteOk);
    }
}

INSTANTIATE_TEST_SUITE_P(FromRealSlaves, PeerReplies,
                         testing::Values(Kind::LibmodbusTcp, Kind::LibmodbusRtu, Kind::PymodbusTcp,
                                         Kind::PymodbusRtuOverTcp, Kind::PymodbusRtu),
                         [](const testing::TestParamInfo<Kind>& info) {
                             return PeerSlave::Name(info.param);
                         });

}  // namespace
