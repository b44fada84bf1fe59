#pragma once

#include <cstdint>
#include <map>
#include <string>

// The two link protocols. 0 frames messages with the MBAP header (Modbus
// TCP), 1 with the RTU address and CRC (Modbus RTU); either framing can
// travel over either link.
namespace Protocol {
constexpr uint8_t Tcp = 0;
constexpr uint8_t Rtu = 1;
}  // namespace Protocol

// Protocol id to label, sorted by id: 0 "Modbus TCP", 1 "Modbus RTU".
const std::map<uint8_t, std::wstring>& ProtocolTable();

// The label of a protocol id, or an empty text.
std::wstring ProtocolName(uint8_t id);
