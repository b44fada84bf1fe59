#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cli/TrafficRow.h"
#include "protocol/ModbusPacket.h"

namespace {

constexpr std::uint8_t kTcp = 0;
constexpr std::uint8_t kRtu = 1;

ModbusPacket Packet(std::uint8_t protocol, bool request, std::vector<std::uint8_t> bytes) {
    ModbusPacket packet(protocol, request ? 1 : 0);
    packet.bytes = std::move(bytes);
    return packet;
}

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

struct DescriptionCase {
    const char* what;
    std::uint8_t protocol;
    bool request;
    std::vector<std::uint8_t> bytes;
    const wchar_t* expected;
};

TEST(PacketDescription, NamesEachKindOfRequestAndReplyAsTheMonitorDoes) {
    const DescriptionCase cases[] = {
        {"TCP read request",
         kTcp,
         true,
         {0x00, 0x01, 0x00, 0x00, 0x00, 0x06,  // MBAP: id 1, protocol 0, length 6
          0x01, 0x03,                          // slave 1, function 3
          0x00, 0x00, 0x00, 0x0A},             // start 0, quantity 10
         L"Poll 03: Read Input Registers 0 to 9"},
        {"TCP read reply",
         kTcp,
         false,
         {0x00, 0x01, 0x00, 0x00, 0x00, 0x17,  // MBAP, length 23
          0x01, 0x03,                          // slave 1, function 3
          0x14},                               // byte count 20 (data left out)
         L"Reply 03: Read Input Registers with 20 bytes of data"},
        {"RTU Daniel float reply counts items",
         kRtu,
         false,
         {0x01, 0x41,  // slave 1, function 65
          0x04},       // item count 4
         L"Reply 65: Daniel Read Floats with 4 items"},
        {"RTU single register write names the one address",
         kRtu,
         true,
         {0x01, 0x06,   // slave 1, function 6
          0x00, 0x07,   // address 7
          0x12, 0x34,   // value
          0x00, 0x00},  // CRC (not checked here)
         L"Poll 06: Write Single Register 7"},
        {"Daniel request has a 4-byte start and 1-byte count",
         kTcp,
         true,
         {0x00, 0x02, 0x00, 0x00, 0x00, 0x07,  // MBAP
          0x01, 0x43,                          // slave 1, function 67
          0x00, 0x01, 0x00, 0x00,              // start 65536
          0x02},                               // 2 items
         L"Poll 67: Daniel Read Doubles 65536 to 65537"},
        {"write reply without a byte count",
         kRtu,
         false,
         {0x01, 0x10,              // slave 1, function 16
          0x00, 0x28, 0x00, 0x02,  // start 40, quantity 2
          0x00, 0x00},             // CRC
         L"Reply 16: Force Multiple Registers"},
    };
    for (const DescriptionCase& c : cases) {
        ModbusPacket packet = Packet(c.protocol, c.request, c.bytes);
        EXPECT_EQ(Narrow(PacketDescription(packet, c.protocol)), Narrow(c.expected)) << c.what;
    }
}

TEST(PacketDescription, LeavesExceptionsUnknownCodesAndShortPacketsWithout) {
    // Exception reply: function 0x83 is not in the table.
    ModbusPacket exception = Packet(kRtu, false, {0x01, 0x83, 0x02, 0x00, 0x00});
    EXPECT_EQ(PacketDescription(exception, kRtu), L"");
    EXPECT_EQ(Narrow(ReceivedRow(exception, kRtu).description), "Unknown");
    // Function 7 is not supported.
    EXPECT_EQ(PacketDescription(Packet(kRtu, true, {0x01, 0x07}), kRtu), L"");
    // MBAP header only: no function byte yet.
    ModbusPacket header = Packet(kTcp, true, {0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x01});
    EXPECT_EQ(PacketDescription(header, kTcp), L"");
    // The same bytes read with RTU framing hold function 0x01 at byte 1.
    EXPECT_EQ(Narrow(PacketDescription(Packet(kRtu, true, {0x01, 0x01}), kRtu)),
              "Poll 01: Read Coils 0 to -1")
        << "a request cut short falls back to the packet's own start 0 and count 0, "
           "and the last address is not wrapped into 16 bits";
}

TEST(TrafficRow, ShowsBytesAsHexPairsEachFollowedBySpaceUpTo340) {
    EXPECT_EQ(HexContent(std::vector<std::uint8_t>{0x00, 0x0A, 0xFF}), L"00 0A FF ");
    EXPECT_EQ(HexContent(std::vector<std::uint8_t>{}), L"");
    std::vector<std::uint8_t> many(400, 0xAB);
    EXPECT_EQ(HexContent(many).size(), kMaxHexBytes * 3) << "only what the monitor column holds";
}

TEST(TrafficRow, GivesLinkStatesAndTimeoutsTheirTexts) {
    const char* expected[] = {"Attempting to connect.", "Connected", "Connection Lost",
                              "Connection Failed.", "Connection Closed"};
    for (std::uint32_t state = 0; state < 5; ++state) {
        ASSERT_TRUE(ConnectionStateText(state).has_value()) << state;
        EXPECT_EQ(Narrow(*ConnectionStateText(state)), expected[state]) << state;
    }
    EXPECT_FALSE(ConnectionStateText(5).has_value()) << "a state outside 0..4 adds no row";
    EXPECT_EQ(Narrow(TimeoutRetryRow().description), "Timeout. Retrying.");
    EXPECT_EQ(Narrow(TimeoutGiveUpRow().description), "Timeout. Giving up.");
}

TEST(TrafficRow, LogLineJoinsTimeDirectionDescriptionAndBytes) {
    ModbusPacket request = Packet(kTcp, true,
                                  {0x00, 0x01, 0x00, 0x00, 0x00, 0x06,  // MBAP
                                   0x01, 0x03, 0x00, 0x00, 0x00, 0x0A});
    EXPECT_EQ(Narrow(LogLine(TimeText(9, 5, 7, 42), SentRow(request, kTcp))),
              "09:05:07:042 TX Poll 03: Read Input Registers 0 to 9 "
              "00 01 00 00 00 06 01 03 00 00 00 0A ");
    EXPECT_EQ(Narrow(LogLine(TimeText(23, 59, 59, 999), TrafficRow{L"", L"Connected", L""})),
              "23:59:59:999  Connected ");
    EXPECT_EQ(LocalTimeText().size(), 12u) << Narrow(LocalTimeText());
}

}  // namespace
