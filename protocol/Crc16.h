#pragma once

#include <cstdint>
#include <span>

// CRC-16 of Modbus RTU (Modbus over Serial Line V1.02, 6.2.2): reflected
// polynomial 0xA001, start 0xFFFF, no final inversion; sent low byte first.
// Continues from a running value; a length below 1 leaves it unchanged.
// Over a whole intact frame, its own CRC included, the result is 0.
uint16_t Crc16(uint16_t crc, const uint8_t* bytes, int length);
uint16_t Crc16(uint16_t crc, std::span<const uint8_t> bytes);
