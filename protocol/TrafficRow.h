#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

class ModbusPacket;

// The monitor's rows as plain texts, so the traffic monitor, its log file and
// the command-line program print the same thing and tests can check it
// without a window.
struct TrafficRow {
    std::wstring dir;          // "TX", "RX" or empty
    std::wstring description;  // what happened
    std::wstring content;      // the packet's bytes as "%02X ", empty without a packet
};

// The words of the rows. The defaults are the English texts; the monitor
// fills them from its string table, and a text that could not be loaded
// stays empty (its part of a row is then empty).
struct TrafficWords {
    // Packet descriptions: "Poll ... 0 to 9", "Reply ... with 20 bytes of data".
    std::wstring poll = L"Poll";
    std::wstring reply = L"Reply";
    std::wstring with = L"with";
    std::wstring ofData = L"of data";
    std::wstring to = L"to";
    // A packet without a description.
    std::wstring unknown = L"Unknown";
    // Link states 0 to 4.
    std::wstring attemptingToConnect = L"Attempting to connect.";
    std::wstring connected = L"Connected";
    std::wstring connectionLost = L"Connection Lost";
    std::wstring connectionFailed = L"Connection Failed.";
    std::wstring connectionClosed = L"Connection Closed";
    // Timeouts.
    std::wstring timeoutRetrying = L"Timeout. Retrying.";
    std::wstring timeoutGivingUp = L"Timeout. Giving up.";

    // The English words, made once.
    static const TrafficWords& English();
};

// One line of text for a request or reply, for example
// "Poll 03: Read Input Registers 0 to 9" or
// "Reply 65: Daniel Read Floats with 4 items". The packet is read by its own
// framing (its protocol field: 0 MBAP, else the address comes first), so a
// row keeps its text when the connection's protocol changes later. Empty
// when the packet has none: too short to hold its function code, or a code
// missing from the function table (which includes every exception reply).
std::wstring PacketDescription(const ModbusPacket& packet,
                               const TrafficWords& words = TrafficWords::English());

// The row text of a link state (0 "Attempting to connect." .. 4 "Connection
// Closed"); nothing for a state outside 0 to 4, which adds no row.
std::optional<std::wstring> ConnectionStateText(
    std::uint32_t state, const TrafficWords& words = TrafficWords::English());

// Every byte as two upper-case hexadecimal digits and a space. At most
// kMaxHexBytes bytes are shown, as the monitor's column holds no more.
constexpr std::size_t kMaxHexBytes = 340;
std::wstring HexContent(std::span<const std::uint8_t> bytes);

// The rows of the traffic events. The packet rows show the word "Unknown"
// when the packet has no description.
TrafficRow SentRow(const ModbusPacket& request,
                   const TrafficWords& words = TrafficWords::English());
TrafficRow ReceivedRow(const ModbusPacket& reply,
                       const TrafficWords& words = TrafficWords::English());
TrafficRow TimeoutRetryRow(const TrafficWords& words = TrafficWords::English());
TrafficRow TimeoutGiveUpRow(const TrafficWords& words = TrafficWords::English());

// "%02d:%02d:%02d:%03d": hour, minute, second, millisecond.
std::wstring TimeText(int hour, int minute, int second, int millisecond);
// The local time now in that form.
std::wstring LocalTimeText();

// The traffic-log line of a row (without the line end): the time, " ", the
// direction, " ", the description, " ", the content.
std::wstring LogLine(const std::wstring& time, const TrafficRow& row);
