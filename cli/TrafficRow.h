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

// One line of text for a request or reply, for example
// "Poll 03: Read Input Registers 0 to 9" or
// "Reply 65: Daniel Read Floats with 4 items". Empty when the packet has none:
// too short to hold its function code, or a code missing from the function
// table (which includes every exception reply). protocol is the framing the
// connection uses (0 MBAP, 1 RTU); it says where the function code sits.
std::wstring PacketDescription(const ModbusPacket& packet, std::uint8_t protocol);

// The row text of a link state (0 "Attempting to connect." .. 4 "Connection
// Closed"); nothing for a state outside 0 to 4, which adds no row.
std::optional<std::wstring> ConnectionStateText(std::uint32_t state);

// Every byte as two upper-case hexadecimal digits and a space. At most
// kMaxHexBytes bytes are shown, as the monitor's column holds no more.
constexpr std::size_t kMaxHexBytes = 340;
std::wstring HexContent(std::span<const std::uint8_t> bytes);

// The rows of the traffic events. The packet rows show "Unknown" when the
// packet has no description.
TrafficRow SentRow(const ModbusPacket& request, std::uint8_t protocol);
TrafficRow ReceivedRow(const ModbusPacket& reply, std::uint8_t protocol);
TrafficRow TimeoutRetryRow();
TrafficRow TimeoutGiveUpRow();

// "%02d:%02d:%02d:%03d": hour, minute, second, millisecond.
std::wstring TimeText(int hour, int minute, int second, int millisecond);
// The local time now in that form.
std::wstring LocalTimeText();

// The traffic-log line of a row (without the line end): the time, " ", the
// direction, " ", the description, " ", the content.
std::wstring LogLine(const std::wstring& time, const TrafficRow& row);
