#include <gtest/gtest.h>

#include "Frames.h"
#include "protocol/ModbusPacket.h"
#include "protocol/PacketBreakdown.h"
#include "protocol/ProtocolTable.h"

namespace {

namespace P = PresetId;
constexpr uint8_t Tcp = Protocol::Tcp, Rtu = Protocol::Rtu;
constexpr uint8_t kOurSlave = 1;
using Rows = std::vector<std::string>;

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

// "Field | 00 0A | 10" for a field row (the hex text ends with its space),
// "Error: message" for an error row.
std::string Line(const BreakdownRow& row) {
    if (row.isError) {
        EXPECT_TRUE(row.field.empty() && row.hex == L"Error") << Narrow(row.value);
        return "Error: " + Narrow(row.value);
    }
    std::string line = Narrow(row.field) + " | " + Narrow(row.hex) + "| " + Narrow(row.value);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

Rows Lines(const std::vector<BreakdownRow>& rows) {
    Rows lines;
    for (const BreakdownRow& row : rows) lines.push_back(Line(row));
    return lines;
}

// A packet as a master hands it over: its framing, direction and the set-up
// of the poll it belongs to.
ModbusPacket Made(uint8_t protocol, bool request, const Poll& poll, Bytes bytes) {
    ModbusPacket packet(protocol, request ? 1 : 0);
    packet.function = poll.FunctionCode();
    packet.SetFromPoll(poll);
    packet.bytes = std::move(bytes);
    return packet;
}

Rows Show(const ModbusPacket& packet) { return Lines(BreakDownPacket(packet, kOurSlave)); }

struct Case {
    const char* name;
    bool request;
    Poll poll;
    Bytes unit;  // slave address and PDU, without framing
    Rows rows;   // without the framing's rows
};

// clang-format off
const Case kCases[] = {
    {"1 request", true, MadePoll(1, 100, 10, P::Bit),
     {0x01,              // slave 1
      0x01,              // function 1
      0x00, 0x64,        // start 100
      0x00, 0x0A},       // 10 coils
     {"Address | 01 | 1: Our address", "Function | 01 | 01: Read Coils", "Address | 00 64 | 100",
      "Reg Count | 00 0A | 10"}},
    {"1 reply: bits most significant first", false, MadePoll(1, 100, 10, P::Bit),
     {0x01, 0x01,
      0x02,              // byte count
      0x05, 0x01},       // coils 100, 102 and 108
     {"Address | 01 | 1: Our address", "Function | 01 | 01: Read Coils", "Byte Count | 02 | 2",
      "Data | 05 | 00000101", "Data | 01 | 00000001"}},
    {"2 request", true, MadePoll(2, 0, 8, P::Bit),
     {0x01, 0x02, 0x00, 0x00, 0x00, 0x08},
     {"Address | 01 | 1: Our address", "Function | 02 | 02: Read Inputs", "Address | 00 00 | 0",
      "Reg Count | 00 08 | 8"}},
    {"2 reply of another slave", false, MadePoll(2, 0, 8, P::Bit),
     {0x11,              // slave 17, not ours
      0x02, 0x01, 0x81},
     {"Address | 11 | 17", "Function | 02 | 02: Read Inputs", "Byte Count | 01 | 1",
      "Data | 81 | 10000001"}},
    {"3 request", true, MadePoll(3, 0, 10, P::ShortUint),
     {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A},
     {"Address | 01 | 1: Our address", "Function | 03 | 03: Read Input Registers",
      "Address | 00 00 | 0", "Reg Count | 00 0A | 10"}},
    {"3 reply", false, MadePoll(3, 0, 2, P::ShortUint),
     {0x01, 0x03, 0x04,
      0x00, 0x0A,        // 10
      0xFF, 0xFF},       // 65535
     {"Address | 01 | 1: Our address", "Function | 03 | 03: Read Input Registers",
      "Byte Count | 04 | 4", "Data | 00 0A | 10", "Data | FF FF | 65535"}},
    {"3 reply shorter than the poll", false, MadePoll(3, 0, 2, P::ShortUint),
     {0x01, 0x03, 0x02, 0x00, 0x0A},
     {"Address | 01 | 1: Our address", "Function | 03 | 03: Read Input Registers",
      "Byte Count | 02 | 2", "Data | 00 0A | 10", "Error: Expected 4 Bytes, Got 2"}},
    {"3 reply of ASCII 8", false, MadePoll(3, 0, 1, P::Ascii8),
     {0x01, 0x03, 0x08,
      0x41, 0x42, 0x00, 0x43, 0x00, 0x00, 0x00, 0x00},  // "AB", then a zero ends the text
     {"Address | 01 | 1: Our address", "Function | 03 | 03: Read Input Registers",
      "Byte Count | 08 | 8", "Data | 41 42 00 43 00 00 00 00 | AB"}},
    {"3 exception reply", false, MadePoll(3, 0, 2, P::ShortUint),
     {0x01, 0x83,        // function 3 with the exception flag
      0x02},             // illegal data address
     {"Address | 01 | 1: Our address", "Function | 83 |", "Error: Unrecognised function"}},
    {"4 request of ROSEMOUNT FLOAT", true, MadePoll(4, 40, 2, P::RosemountFloat),
     {0x01, 0x04, 0x00, 0x28,
      0x00, 0x04},       // 4 registers for 2 floats
     {"Address | 01 | 1: Our address", "Function | 04 | 04: Read Output Registers",
      "Address | 00 28 | 40", "Reg Count | 00 04 | 4"}},
    {"4 reply of ROSEMOUNT FLOAT", false, MadePoll(4, 40, 2, P::RosemountFloat),
     {0x01, 0x04, 0x08,
      0x00, 0x00, 0x41, 0x20,   // 10.0, words swapped
      0x00, 0x00, 0xC0, 0x00},  // -2.0
     {"Address | 01 | 1: Our address", "Function | 04 | 04: Read Output Registers",
      "Byte Count | 08 | 8", "Data | 00 00 41 20 | 10.000000", "Data | 00 00 C0 00 | -2.000000"}},
    {"5 request", true, MadePoll(5, 10, 1, P::Bit),
     {0x01, 0x05, 0x00, 0x0A,
      0xFF, 0x00},       // on
     {"Address | 01 | 1: Our address", "Function | 05 | 05: Write Single Coil",
      "Address | 00 0A | 10", "Value | FF 00 | 65280"}},
    {"5 reply", false, MadePoll(5, 10, 1, P::Bit),
     {0x01, 0x05, 0x00, 0x0A, 0x00, 0x00},
     {"Address | 01 | 1: Our address", "Function | 05 | 05: Write Single Coil",
      "Address | 00 0A | 10", "Value | 00 00 | 0"}},
    {"6 request", true, MadePoll(6, 7, 1, P::ShortUint),
     {0x01, 0x06, 0x00, 0x07,
      0x04, 0xD2},       // 1234
     {"Address | 01 | 1: Our address", "Function | 06 | 06: Write Single Register",
      "Address | 00 07 | 7", "Data | 04 D2 | 1234"}},
    {"6 reply", false, MadePoll(6, 7, 1, P::ShortUint),
     {0x01, 0x06, 0x00, 0x07, 0x04, 0xD2},
     {"Address | 01 | 1: Our address", "Function | 06 | 06: Write Single Register",
      "Address | 00 07 | 7", "Data | 04 D2 | 1234"}},
    {"15 request", true, MadePoll(15, 0, 10, P::Bit),
     {0x01, 0x0F, 0x00, 0x00,
      0x00, 0x0A,        // 10 coils
      0x02,              // byte count
      0x01, 0x02},       // the 1st and the 10th on
     {"Address | 01 | 1: Our address", "Function | 0F | 15: Force Multiple Coils",
      "Address | 00 00 | 0", "Reg Count | 00 0A | 10", "Byte Count | 02 | 2",
      "Data | 01 | 00000001", "Data | 02 | 00000010"}},
    {"15 reply", false, MadePoll(15, 0, 10, P::Bit),
     {0x01, 0x0F, 0x00, 0x00, 0x00, 0x0A},
     {"Address | 01 | 1: Our address", "Function | 0F | 15: Force Multiple Coils",
      "Address | 00 00 | 0", "Reg Count | 00 0A | 10"}},
    {"16 request of LONG UINT", true, MadePoll(16, 1, 2, P::LongUint),
     {0x01, 0x10, 0x00, 0x01,
      0x00, 0x04,               // 4 registers
      0x08,                     // byte count
      0x00, 0x01, 0x00, 0x00,   // 65536
      0xFF, 0xFF, 0xFF, 0xFF},  // 4294967295
     {"Address | 01 | 1: Our address", "Function | 10 | 16: Force Multiple Registers",
      "Address | 00 01 | 1", "Reg Count | 00 04 | 4", "Byte Count | 08 | 8",
      "Data | 00 01 00 00 | 65536", "Data | FF FF FF FF | 4294967295"}},
    {"16 reply", false, MadePoll(16, 1, 2, P::LongUint),
     {0x01, 0x10, 0x00, 0x01, 0x00, 0x04},
     {"Address | 01 | 1: Our address", "Function | 10 | 16: Force Multiple Registers",
      "Address | 00 01 | 1", "Reg Count | 00 04 | 4"}},
    {"65 request", true, MadePoll(65, 300, 2, P::Float),
     {0x01, 0x41,
      0x00, 0x00, 0x01, 0x2C,  // start 300 in 4 bytes
      0x02},                   // 2 items
     {"Address | 01 | 1: Our address", "Function | 41 | 65: Daniel Read Floats",
      "Address | 00 00 01 2C | 300", "Reg Count | 02 | 2"}},
    {"65 reply", false, MadePoll(65, 300, 2, P::Float),
     {0x01, 0x41,
      0x02,                    // item count
      0x3F, 0x80, 0x00, 0x00,  // 1.0
      0xC0, 0x00, 0x00, 0x00}, // -2.0
     {"Address | 01 | 1: Our address", "Function | 41 | 65: Daniel Read Floats",
      "Item Count | 02 | 2", "Data | 3F 80 00 00 | 1.000000", "Data | C0 00 00 00 | -2.000000"}},
    {"66 request", true, MadePoll(66, 2, 2, P::Float),
     {0x01, 0x42, 0x00, 0x00, 0x00, 0x02,
      0x02,                    // 2 items, no byte count
      0x3F, 0x80, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00},
     {"Address | 01 | 1: Our address", "Function | 42 | 66: Daniel Write Floats",
      "Address | 00 00 00 02 | 2", "Reg Count | 02 | 2", "Data | 3F 80 00 00 | 1.000000",
      "Data | C0 00 00 00 | -2.000000"}},
    {"66 reply", false, MadePoll(66, 2, 2, P::Float),
     {0x01, 0x42, 0x02},
     {"Address | 01 | 1: Our address", "Function | 42 | 66: Daniel Write Floats",
      "Reg Count | 02 | 2"}},
    {"67 request", true, MadePoll(67, 7, 1, P::Double),
     {0x01, 0x43, 0x00, 0x00, 0x00, 0x07, 0x01},
     {"Address | 01 | 1: Our address", "Function | 43 | 67: Daniel Read Doubles",
      "Address | 00 00 00 07 | 7", "Reg Count | 01 | 1"}},
    {"67 reply", false, MadePoll(67, 7, 1, P::Double),
     {0x01, 0x43, 0x01,
      0x3F, 0xB9, 0x99, 0x99, 0x99, 0x99, 0x99, 0x9A},  // 0.1
     {"Address | 01 | 1: Our address", "Function | 43 | 67: Daniel Read Doubles",
      "Item Count | 01 | 1", "Data | 3F B9 99 99 99 99 99 9A | 0.100000"}},
    {"68 request", true, MadePoll(68, 7, 1, P::Double),
     {0x01, 0x44, 0x00, 0x00, 0x00, 0x07, 0x01,
      0x40, 0x09, 0x21, 0xFB, 0x54, 0x44, 0x2D, 0x18},  // pi
     {"Address | 01 | 1: Our address", "Function | 44 | 68: Daniel Write Doubles",
      "Address | 00 00 00 07 | 7", "Reg Count | 01 | 1",
      "Data | 40 09 21 FB 54 44 2D 18 | 3.141593"}},
    {"68 reply", false, MadePoll(68, 7, 1, P::Double),
     {0x01, 0x44, 0x01},
     {"Address | 01 | 1: Our address", "Function | 44 | 68: Daniel Write Doubles",
      "Reg Count | 01 | 1"}},
};
// clang-format on

bool EndsAtTheFunction(const Rows& rows) {
    return !rows.empty() && rows.back() == "Error: Unrecognised function";
}

Bytes Framed(uint8_t protocol, const Bytes& unit) {
    return protocol == Tcp ? WithMbap(unit) : WithCrc(unit);
}

// The rows of a case in a framing: WithMbap's header (transaction 1) before,
// the CRC after, unless the function ended the breakdown.
Rows FramedRows(uint8_t protocol, const Case& c) {
    Rows rows;
    const Bytes frame = Framed(protocol, c.unit);
    if (protocol == Tcp) {
        rows = {"Message ID | 00 01 | 1", "Protocol ID | 00 00 | 0",
                "Message Length | " + ToHex({frame[4], frame[5]}) + "| " +
                    std::to_string(frame[4] << 8 | frame[5])};
    }
    rows.insert(rows.end(), c.rows.begin(), c.rows.end());
    if (protocol == Rtu && !EndsAtTheFunction(c.rows)) {
        const uint8_t low = frame[frame.size() - 2], high = frame.back();
        rows.push_back("CRC | " + ToHex({low, high}) + "| " + std::to_string(high << 8 | low));
    }
    return rows;
}

// What a frame cut after `kept` bytes shows: every row whose bytes are all
// there, in order, with the error rows that follow them, then "Message
// truncated" (unless the function already ended the breakdown).
Rows CutShort(const std::vector<BreakdownRow>& whole, size_t kept) {
    Rows rows;
    size_t end = 0;
    for (const BreakdownRow& row : whole) {
        if (!row.isError) {
            end += row.hex.size() / 3;
            if (end > kept) break;
        }
        rows.push_back(Line(row));
    }
    if (!EndsAtTheFunction(rows)) rows.push_back("Error: Message truncated");
    return rows;
}

const char* Name(uint8_t protocol) { return protocol == Tcp ? "MBAP" : "RTU"; }

}  // namespace

TEST(Breakdown, ShowsEveryFunctionsRequestAndReplyFieldByFieldInBothFramings) {
    for (const Case& c : kCases) {
        for (uint8_t protocol : {Tcp, Rtu}) {
            const ModbusPacket packet = Made(protocol, c.request, c.poll, Framed(protocol, c.unit));
            EXPECT_EQ(Show(packet), FramedRows(protocol, c))
                << c.name << " over " << Name(protocol);
        }
    }
}

// Every prefix of every frame, so every field boundary and every byte inside
// a field; the rows before the cut stay.
TEST(Breakdown, EndsWithMessageTruncatedWhereverTheBytesStop) {
    for (const Case& c : kCases) {
        for (uint8_t protocol : {Tcp, Rtu}) {
            const Bytes frame = Framed(protocol, c.unit);
            const auto whole = BreakDownPacket(Made(protocol, c.request, c.poll, frame), kOurSlave);
            for (size_t kept = 0; kept < frame.size(); ++kept) {
                const Bytes cut(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(kept));
                EXPECT_EQ(Show(Made(protocol, c.request, c.poll, cut)), CutShort(whole, kept))
                    << c.name << " over " << Name(protocol) << " cut to " << ToHex(cut);
            }
        }
    }
}

TEST(Breakdown, SaysMessageTooLongForOneByteMoreThanItsFields) {
    for (const Case& c : kCases) {
        for (uint8_t protocol : {Tcp, Rtu}) {
            Bytes frame = Framed(protocol, c.unit);
            frame.push_back(0x00);
            Rows expected = FramedRows(protocol, c);
            if (!EndsAtTheFunction(expected)) expected.push_back("Error: Message too long");
            EXPECT_EQ(Show(Made(protocol, c.request, c.poll, frame)), expected)
                << c.name << " over " << Name(protocol);
        }
    }
}

// Each layout of one item, read from a register reply whose packet names the
// encoding; the data row is the last one. The presets' own encodings (3, 5, 6,
// 9, 11, 15 and bits) are shown in the table of every function above.
TEST(Breakdown, ReadsEachItemInTheByteOrderOfItsEncoding) {
    const struct {
        uint8_t encoding;
        Bytes data;
        const char* row;
    } cases[] = {
        {4, {0xD2, 0x04}, "Data | D2 04 | 1234"},
        {5, {0x41, 0x20, 0x00, 0x00}, "Data | 41 20 00 00 | 10.000000"},  // ABCD
        {6, {0x00, 0x00, 0x41, 0x20}, "Data | 00 00 41 20 | 10.000000"},  // CDAB
        {7, {0x00, 0x00, 0x20, 0x41}, "Data | 00 00 20 41 | 10.000000"},  // DCBA
        {8, {0x20, 0x41, 0x00, 0x00}, "Data | 20 41 00 00 | 10.000000"},  // BADC
        {10,
         {0x9A, 0x99, 0x99, 0x99, 0x99, 0x99, 0xB9, 0x3F},
         "Data | 9A 99 99 99 99 99 B9 3F | 0.100000"},
        {12, {0xE2, 0x40, 0x00, 0x01}, "Data | E2 40 00 01 | 123456"},  // CDAB, as decoded
        {13, {0x40, 0xE2, 0x01, 0x00}, "Data | 40 E2 01 00 | 123456"},
        {14, {0x01, 0x00, 0x40, 0xE2}, "Data | 01 00 40 E2 | 123456"},  // BADC, as decoded
        // No register layout: one byte each, or (no preset) 16-bit high byte first.
        {2, {0xC8}, "Data | C8 | 200"},
        {0, {0x01, 0x02}, "Data | 01 02 | 258"},
        {99, {0x01, 0x02}, "Data | 01 02 | 258"},
    };
    for (const auto& c : cases) {
        ModbusPacket packet(Tcp, 0);
        packet.encoding = c.encoding;
        packet.bytes = WithMbap({0x01, 0x03, static_cast<uint8_t>(c.data.size())});
        packet.bytes.insert(packet.bytes.end(), c.data.begin(), c.data.end());
        const Rows rows = Show(packet);
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows.back(), c.row) << "encoding " << int(c.encoding);
    }
}

// A row stays as it was drawn when the user later switches the connection
// from Modbus TCP to RTU: the packet's own framing decides, so an MBAP reply
// grows no CRC row and no "Message truncated".
TEST(Breakdown, ReadsAPacketByTheFramingItWasSentWithNotTheConnectionsCurrentOne) {
    const Bytes unit = {0x01, 0x06, 0x00, 0x07, 0x04, 0xD2};
    const Poll poll = MadePoll(6, 7, 1, P::ShortUint);
    const Rows mbap = Show(Made(Tcp, false, poll, WithMbap(unit)));
    ASSERT_EQ(mbap.size(), 7u) << ::testing::PrintToString(mbap);
    EXPECT_EQ(mbap.back(), "Data | 04 D2 | 1234");
    EXPECT_EQ(Show(Made(Rtu, false, poll, WithCrc(unit))).back(), "CRC | BA 96 | 38586");
    // Any other id is a bare PDU: neither header nor CRC.
    EXPECT_EQ(Show(Made(2, false, poll, unit)), Rows(mbap.begin() + 3, mbap.end()));
}

// Counts and byte totals wider than 8 bits: 64 floats are 256 bytes, 255
// doubles 2040; every item is shown and no mismatch is claimed.
TEST(Breakdown, ShowsEveryItemOfAReplyOrWriteOf256BytesOrMore) {
    const struct {
        uint8_t protocol;
        uint8_t function;  // 65, 67: a reply; 66, 68: a request
        uint8_t items;
    } cases[] = {{Tcp, 65, 64}, {Rtu, 67, 255}, {Rtu, 66, 64}, {Tcp, 68, 40}};
    for (const auto& c : cases) {
        const bool request = c.function % 2 == 0;
        const bool doubles = c.function >= 67;
        Bytes unit = request ? Bytes{0x01, c.function, 0x00, 0x00, 0x00, 0x00, c.items}
                             : Bytes{0x01, c.function, c.items};
        unit.resize(unit.size() + c.items * (doubles ? 8u : 4u), 0x00);
        const Poll poll = MadePoll(c.function, 0, c.items, doubles ? P::Double : P::Float);
        const Rows rows = Show(Made(c.protocol, request, poll, Framed(c.protocol, unit)));
        size_t data = 0, errors = 0;
        for (const std::string& row : rows) {
            data += row.rfind("Data | ", 0) == 0;
            errors += row.rfind("Error: ", 0) == 0;
        }
        EXPECT_EQ(data, c.items) << "function " << int(c.function);
        EXPECT_EQ(errors, 0u) << "function " << int(c.function) << ": "
                              << ::testing::PrintToString(rows);
    }
}

// A packet that was not decoded against a poll (another function than asked
// for, a stray frame) has no preset: its registers show as 16-bit values and
// there is no byte count it should have had.
TEST(Breakdown, ShowsSixteenBitRowsAndClaimsNoMismatchWhenThePacketHasNoPreset) {
    const struct {
        bool request;
        Bytes unit;
        Rows data;
    } cases[] = {
        {false,
         {0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x14},  // byte count 4: 10, 20
         {"Byte Count | 04 | 4", "Data | 00 0A | 10", "Data | 00 14 | 20"}},
        {true,
         {0x01, 0x10, 0x00, 0x00, 0x00, 0x01, 0x02, 0x12, 0x34},  // 1 register, 0x1234
         {"Address | 00 00 | 0", "Reg Count | 00 01 | 1", "Byte Count | 02 | 2",
          "Data | 12 34 | 4660"}},
        {true,
         {0x01, 0x06, 0x00, 0x05, 0xAB, 0xCD},  // register 5
         {"Address | 00 05 | 5", "Data | AB CD | 43981"}},
    };
    for (const auto& c : cases) {
        ModbusPacket packet(Rtu, c.request ? 1 : 0);
        packet.bytes = WithCrc(c.unit);
        Rows rows = Show(packet);
        ASSERT_GE(rows.size(), 3u);
        EXPECT_EQ(Rows(rows.begin() + 2, rows.end() - 1), c.data) << ToHex(c.unit);
        EXPECT_EQ(rows.back().rfind("CRC | ", 0), 0u) << rows.back();
    }
}

// A byte count that ends inside an item: the item shows the bytes the count
// covers, and the CRC is read where it is. A count of 0 is a whole reply.
TEST(Breakdown, KeepsTheFieldsAfterTheDataWhereTheByteCountPutsThem) {
    EXPECT_EQ(Show(Made(Rtu, false, MadePoll(3, 0, 2, P::ShortUint),
                        {0x01, 0x03, 0x03,  // 3 bytes
                         0x00, 0x0A, 0x00,  // 10, then half a register
                         0x43, 0x2E})),     // CRC 0x2E43
              (Rows{"Address | 01 | 1: Our address", "Function | 03 | 03: Read Input Registers",
                    "Byte Count | 03 | 3", "Data | 00 0A | 10", "Data | 00 |",
                    "Error: Expected 4 Bytes, Got 3", "CRC | 43 2E | 11843"}));
    EXPECT_EQ(
        Show(Made(Tcp, false, MadePoll(1, 0, 0, P::Bit), WithMbap({0x01, 0x01, 0x00}))).back(),
        "Byte Count | 00 | 0");
}

TEST(Breakdown, TakesItsLabelsAndMessagesFromTheTextsItIsGiven) {
    BreakdownTexts texts;
    texts.address = L"Adresse";
    texts.function = L"";  // not loaded
    texts.ourAddress = L"unsere";
    texts.byteCount = L"Bytes";
    texts.data = L"Daten";
    texts.expected = L"Erwartet";
    texts.bytes = L"Byte";
    texts.got = L"erhalten";
    texts.error = L"Fehler";
    texts.messageTooLong = L"zu lang";
    const ModbusPacket packet = Made(Rtu, false, MadePoll(3, 0, 2, P::ShortUint),
                                     WithCrc({0x01, 0x03, 0x02, 0x00, 0x0A, 0xEE}));
    const auto rows = BreakDownPacket(packet, kOurSlave, texts);
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(Narrow(rows[0].field + L"=" + rows[0].value), "Adresse=1: unsere");
    EXPECT_EQ(Narrow(rows[1].field), "");
    EXPECT_EQ(Narrow(rows[3].field + L"=" + rows[3].value), "Daten=10");
    EXPECT_EQ(Narrow(rows[4].hex + L"=" + rows[4].value), "Fehler=Erwartet 4 Byte, erhalten 2");
    EXPECT_EQ(Narrow(rows[6].hex + L"=" + rows[6].value), "Fehler=zu lang");
}
