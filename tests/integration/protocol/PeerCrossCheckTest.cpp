// The protocol core against real peers. Requests BuildRequest makes equal byte
// for byte what libmodbus's client sends, with MBAP and RTU framing. Replies
// real slaves make for
// known contents (libmodbus and pymodbus, over TCP and on pty pairs, MBAP and
// RTU framing) decode to exactly those contents, both whole (ParseReply, the
// TCP master's way) and fed one byte at a time (ParseByte and CheckFrame, the
// serial master's way); what a slave refuses stores nothing.
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
namespace P = PresetId;
DataItem U16(uint16_t v) { return DataItem::MakeUnsignedShort(v); }
DataItem U32(uint32_t v) { return DataItem::MakeUnsignedInt(v); }
DataItem Bit(bool v) { return DataItem::MakeBit(v); }
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
        packet.items.Set(static_cast<uint16_t>(poll.start + i * step), values[i]);
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

// One case per function: a second count, address or register layout on the
// same path would only repeat it (the layouts are the unit tables' business).
struct RequestCase {
    const char* name;
    Poll poll;
    std::vector<DataItem> values;  // what a write sends, in poll order
    ClientCall call;               // the same request through libmodbus
};

// clang-format off
std::vector<RequestCase> RequestCases() {
    return {
        {"read 2000 coils from 63000", TestPoll(1, 63000, 2000, P::Bit), {},
         [](modbus_t* c) { static uint8_t b[2000]; return modbus_read_bits(c, 63000, 2000, b); }},
        {"read 10 inputs", TestPoll(2, 1000, 10, P::Bit), {},
         [](modbus_t* c) { uint8_t b[10]; return modbus_read_input_bits(c, 1000, 10, b); }},
        {"read 125 registers from 65400", TestPoll(3, 65400, 125, P::ShortUint), {},
         [](modbus_t* c) { uint16_t r[125]; return modbus_read_registers(c, 65400, 125, r); }},
        {"read 5 input ROSEMOUNT FLOATs", TestPoll(4, 300, 5, P::RosemountFloat), {},
         [](modbus_t* c) { uint16_t r[10]; return modbus_read_input_registers(c, 300, 10, r); }},
        {"write coil on", TestPoll(5, 172, 1, P::Bit), {Bit(true)},
         [](modbus_t* c) { return modbus_write_bit(c, 172, 1); }},
        {"write register", TestPoll(6, 40000, 1, P::ShortUint), {U16(65535)},
         [](modbus_t* c) { return modbus_write_register(c, 40000, 65535); }},
        {"write 10 coils, first and last on", TestPoll(15, 19, 10, P::Bit),
         {Bit(1), Bit(0), Bit(0), Bit(0), Bit(0), Bit(0), Bit(0), Bit(0), Bit(0), Bit(1)},
         [](modbus_t* c) { const uint8_t b[] = {1, 0, 0, 0, 0, 0, 0, 0, 0, 1};
                           return modbus_write_bits(c, 19, 10, b); }},
        {"write 3 LONG UINTs, high word first", TestPoll(16, 500, 3, P::LongUint),
         {U32(0x12345678), U32(0xFFFFFFFF), U32(70000)},
         [](modbus_t* c) { const uint16_t r[] = {0x1234, 0x5678, 0xFFFF, 0xFFFF, 0x0001, 0x1170};
                           return modbus_write_registers(c, 500, 6, r); }},
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
    for (uint16_t i = 0; i < size; ++i) items.push_back(Bit(bits[start + i] != 0));
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
    for (uint16_t i = 0; i < 125; ++i) counting.push_back(U16(1000 + 3 * i));
    // clang-format off
    return {
        {"2000 coils", TestPoll(1, 50, 2000, P::Bit), BitsOf(m.coils, 50, 2000)},
        {"10 inputs", TestPoll(2, 5, 10, P::Bit), BitsOf(m.discrete, 5, 10)},
        {"125 registers", TestPoll(3, 100, 125, P::ShortUint), Spaced(100, 1, counting)},
        {"input registers", TestPoll(4, 0, 5, P::ShortUint),
         Spaced(0, 1, {U16(7), U16(8), U16(9), U16(40000), U16(65534)})},
    };
    // clang-format on
}

struct WriteCase {
    const char* name;
    Poll poll;
    std::vector<DataItem> values;
};

std::vector<WriteCase> WriteCases() {
    constexpr uint16_t c = kCoilWriteArea;     // even coils start off, odd ones on
    constexpr uint16_t h = kHoldingWriteArea;  // registers start as AAAA
    std::vector<DataItem> coils;
    for (const bool b : {1, 1, 0, 0, 1, 0, 1, 1, 0, 1}) coils.push_back(Bit(b));
    // clang-format off
    return {
        {"coil on", TestPoll(5, c, 1, P::Bit), {Bit(true)}},
        {"register", TestPoll(6, h, 1, P::ShortUint), {U16(4660)}},
        {"10 coils", TestPoll(15, c + 10, 10, P::Bit), coils},
        {"LONG UINTs", TestPoll(16, h + 6, 2, P::LongUint), {U32(0xDEADBEEF), U32(42)}},
    };
    // clang-format on
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

template <typename Items>
std::string Text(const Items& items) {
    return Text(Values(items.begin(), items.end()));
}

// Feeds a reply one byte at a time, prepared as the serial master prepares it
// (the poll, one address range for it); CheckFrame then judges the whole.
void FeedByteByByte(ModbusPacket& packet, const Poll& poll, const Bytes& reply) {
    const uint16_t span = static_cast<uint16_t>(poll.size * StepForPreset(poll.formatpreset));
    EXPECT_EQ(packet.PrepareReply(
                  poll, {AddressRange{poll.FunctionCode(), poll.start, span, poll.formatpreset}}),
              ParseByteOk);
    for (const uint8_t b : reply) packet.ParseByte(b);
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
        map.Insert(9999, U16(77));
        ModbusPacket whole(framing(), 0);
        whole.bytes = reply;
        EXPECT_TRUE(whole.ParseReply(framing(), kSlaveAddress, poll, map, changed)) << ToHex(reply);
        EXPECT_EQ(changed, addresses) << "changed addresses";
        std::map<uint16_t, DataItem> stored;
        for (const auto& [address, entry] : map.entries()) stored[address] = entry.item;
        ModbusPacket bytewise(framing(), 0);
        FeedByteByByte(bytewise, poll, reply);
        EXPECT_EQ(bytewise.CheckFrame(), ParseByteOk) << ToHex(reply);
        // The byte parser keeps what a 5 or 6 echo carries; only ParseReply commits.
        if (!expected.empty()) {
            EXPECT_EQ(Text(bytewise.items), Text(expected)) << "ParseByte";
        }
        expected.emplace_back(9999, U16(77));
        EXPECT_EQ(Text(stored), Text(expected)) << "ParseReply";
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
        ExpectDecodes(c.poll, Ask(c.poll, c.values), {});
        const bool coils = c.poll.FunctionCode() == 5 || c.poll.FunctionCode() == 15;
        const int32_t preset = c.poll.formatpreset;
        const Poll readBack = TestPoll(coils ? 1 : 3, c.poll.start, c.values.size(), preset);
        ExpectDecodes(readBack, Ask(readBack),
                      Spaced(c.poll.start, coils ? 1 : StepForPreset(preset), c.values));
    }
}

// A damaged reply is the unit tables' business; what a real slave refuses with
// is checked here: both decoders see the exception and nothing is stored.
TEST_P(PeerReplies, AnExceptionReplyStoresNothing) {
    // Every slave holds 300 holding registers; 5000 is outside them.
    const Poll outside = TestPoll(3, 5000, 2, P::ShortUint);
    const Bytes exception = Ask(outside);
    DataMap map;
    map.Insert(outside.start, U16(5));
    std::vector<uint16_t> changed;
    ModbusPacket whole(framing(), 0), bytewise(framing(), 0);
    whole.bytes = exception;
    EXPECT_FALSE(whole.ParseReply(framing(), kSlaveAddress, outside, map, changed))
        << ToHex(exception);
    EXPECT_TRUE(changed.empty());
    EXPECT_EQ(map.Find(outside.start)->item.AsUnsignedShort(), 5) << "nothing stored";
    FeedByteByByte(bytewise, outside, exception);
    EXPECT_EQ(bytewise.CheckFrame(), ParseExceptionReply) << ToHex(exception);
    EXPECT_TRUE(whole.isException && bytewise.isException);
    EXPECT_EQ(whole.exceptionCode, 2) << "Illegal Data Address";
    EXPECT_EQ(bytewise.exceptionCode, 2) << "Illegal Data Address";
    EXPECT_TRUE(bytewise.items.Empty());
}

INSTANTIATE_TEST_SUITE_P(FromRealSlaves, PeerReplies,
                         testing::Values(Kind::LibmodbusTcp, Kind::LibmodbusRtu, Kind::PymodbusTcp,
                                         Kind::PymodbusRtuOverTcp, Kind::PymodbusRtu),
                         [](const testing::TestParamInfo<Kind>& info) {
                             return PeerSlave::Name(info.param);
                         });

}  // namespace
