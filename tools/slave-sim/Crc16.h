#pragma once

#include <cstddef>
#include <cstdint>

namespace slavesim {

// Modbus over Serial Line V1.02, 6.2.2: CRC-16, reflected polynomial 0xA001,
// initial value 0xFFFF. Run over a whole frame including its CRC it gives 0.
uint16_t Crc16(const uint8_t* data, size_t length);

}  // namespace slavesim
