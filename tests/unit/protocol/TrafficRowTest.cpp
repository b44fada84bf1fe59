#include <gtest/gtest.h>

#include "Frames.h"
#include "protocol/ModbusPacket.h"
#include "protocol/ProtocolTable.h"
#include "protocol/TrafficRow.h"

namespace {

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

ModbusPacket Packet(uint8_t protocol, bool request, Bytes bytes) {
    ModbusPacket packet(protocol, request ? 1 : 0);
    packet.bytes = std::move(bytes);
    return packet;
}

}  // namespace

// Each packet is read by its own framing: in one list an MBAP packet and an
// RTU packet are both named, whichever protocol the connection uses now.
TEST(TrafficRow, DescribesEachKindOfPacketFromItsOwnBytesAndFraming) {
    const struct {
        uint8_t protocol;
        bool request;
        Bytes bytes;
        const char* expected;
    } cases[] = {
        {Protocol::Tcp,
         true,
         {0x00, 0x01, 0x00, 0x00, 0x00, 0x06,   // MBAP: id 1, protocol 0, length 6
          0x01, 0x03, 0x00, 0x00, 0x00, 0x0A},  // slave 1, function 3, start 0, quantity 10
         "Poll 03: Read Input Registers 0 to 9"},
        {Protocol::Tcp,
         false,
         {0x00, 0x01, 0x00, 0x00, 0x00, 0x17, 0x01, 0x03, 0x14},  // byte count 20, data left out
         "Reply 03: Read Input Registers with 20 bytes of data"},
        {Protocol::Rtu, false, {0x01, 0x41, 0x04}, "Reply 65: Daniel Read Floats with 4 items"},
        {Protocol::Rtu,
         true,
         {0x01, 0x06, 0x00, 0x07, 0x12, 0x34, 0x00, 0x00},  // CRC unchecked
         "Poll 06: Write Single Register 7"},
        {Protocol::Tcp,
         true,
         {0x00, 0x02, 0x00, 0x00, 0x00, 0x07, 0x01, 0x43,  // MBAP, slave 1, function 67
          0x00, 0x01, 0x00, 0x00, 0x02},                   // start 65536, 2 items
         "Poll 67: Daniel Read Doubles 65536 to 65537"},
        {Protocol::Rtu,
         false,
         {0x01, 0x10, 0x00, 0x28, 0x00, 0x02, 0x00, 0x00},
         "Reply 16: Force Multiple Registers"},
        {Protocol::Rtu, false, {0x01, 0x83, 0x02, 0x00, 0x00}, ""},  // exception: not in the table
        {Protocol::Rtu, true, {0x01, 0x07}, ""},
        {Protocol::Tcp, true, {0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x01}, ""},  // no function yet
        // Cut short: the packet's own start 0 and count 0, the last address not wrapped.
        {Protocol::Rtu, true, {0x01, 0x01}, "Poll 01: Read Coils 0 to -1"},
    };
    for (const auto& c : cases) {
        ModbusPacket packet = Packet(c.protocol, c.request, c.bytes);
        EXPECT_EQ(Narrow(PacketDescription(packet)), c.expected) << c.expected;
    }
    EXPECT_EQ(Narrow(ReceivedRow(Packet(Protocol::Rtu, false, {0x01, 0x83, 0x02})).description),
              "Unknown");
}

TEST(TrafficRow, GivesStatesTimeoutsBytesAndLogLinesTheirTexts) {
    const char* states[] = {"Attempting to connect.", "Connected", "Connection Lost",
                            "Connection Failed.", "Connection Closed"};
    for (uint32_t state = 0; state < 5; ++state)
        EXPECT_EQ(Narrow(ConnectionStateText(state).value_or(L"none")), states[state]);
    EXPECT_FALSE(ConnectionStateText(5).has_value()) << "a state outside 0..4 adds no row";
    EXPECT_EQ(Narrow(TimeoutRetryRow().description), "Timeout. Retrying.");
    EXPECT_EQ(Narrow(TimeoutGiveUpRow().description), "Timeout. Giving up.");
    EXPECT_EQ(HexContent(Bytes{0x00, 0x0A, 0xFF}), L"00 0A FF ");
    EXPECT_EQ(HexContent(Bytes(400, 0xAB)).size(), kMaxHexBytes * 3) << "what the column holds";

    ModbusPacket request =
        Packet(Protocol::Tcp, true,
               {0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x01, 0x03, 0x00, 0x00, 0x00, 0x0A});
    EXPECT_EQ(Narrow(LogLine(TimeText(9, 5, 7, 42), SentRow(request))),
              "09:05:07:042 TX Poll 03: Read Input Registers 0 to 9 "
              "00 01 00 00 00 06 01 03 00 00 00 0A ");
    EXPECT_EQ(Narrow(LogLine(TimeText(23, 59, 59, 999), TrafficRow{L"", L"Connected", L""})),
              "23:59:59:999  Connected ");
    EXPECT_EQ(LocalTimeText().size(), 12u) << Narrow(LocalTimeText());
}

// The monitor takes its words from the string table; a word that could not
// be loaded leaves its part of the text empty, the spaces around it stay.
TEST(TrafficRow, UsesTheWordsItIsGivenAndLeavesAnUnloadedWordEmpty) {
    TrafficWords words;
    words.poll = L"Abfrage";
    words.to = L"bis";
    words.reply = L"Antwort";
    words.with = L"mit";
    words.ofData = L"";  // not loaded
    words.unknown = L"Unbekannt";
    words.connectionLost = L"Verbindung verloren";
    words.timeoutGivingUp = L"Zeit um. Aufgegeben.";
    ModbusPacket poll = Packet(Protocol::Rtu, true, WithCrc({0x01, 0x03, 0x00, 0x05, 0x00, 0x02}));
    ModbusPacket reply = Packet(Protocol::Rtu, false, WithCrc({0x01, 0x03, 0x04, 0, 1, 0, 2}));
    EXPECT_EQ(Narrow(SentRow(poll, words).description), "Abfrage 03: Read Input Registers 5 bis 6");
    EXPECT_EQ(Narrow(ReceivedRow(reply, words).description),
              "Antwort 03: Read Input Registers mit 4 bytes ");
    EXPECT_EQ(
        Narrow(ReceivedRow(Packet(Protocol::Rtu, false, {0x01, 0x85, 0x01}), words).description),
        "Unbekannt");
    EXPECT_EQ(Narrow(ConnectionStateText(2, words).value_or(L"none")), "Verbindung verloren");
    EXPECT_EQ(Narrow(TimeoutGiveUpRow(words).description), "Zeit um. Aufgegeben.");
}
