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
// RTU packet are both named, whichever protocol the connection uses now. The
// rows of the standard reads and writes in both framings are checked where
// the command-line program prints them and the monitor shows them.
TEST(TrafficRow, DescribesEachKindOfPacketFromItsOwnBytesAndFraming) {
    const struct {
        uint8_t protocol;
        bool request;
        Bytes bytes;
        const char* expected;
    } cases[] = {
        {Protocol::Rtu, false, {0x01, 0x41, 0x04}, "Reply 65: Daniel Read Floats with 4 items"},
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

// The texts and the log line's layout are checked where the program shows its
// rows (the command-line output and log, the monitor pane); here the state that
// adds no row, the lost connection those runs never meet, and the column's limit.
TEST(TrafficRow, AddsNoRowForAnUnknownStateAndCutsTheBytesToWhatTheColumnHolds) {
    EXPECT_EQ(Narrow(ConnectionStateText(2).value_or(L"none")), "Connection Lost");
    EXPECT_FALSE(ConnectionStateText(5).has_value()) << "a state outside 0..4 adds no row";
    EXPECT_EQ(HexContent(Bytes(400, 0xAB)).size(), kMaxHexBytes * 3) << "what the column holds";
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
