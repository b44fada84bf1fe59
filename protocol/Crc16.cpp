#include "protocol/Crc16.h"

uint16_t Crc16(uint16_t crc, const uint8_t* bytes, int length) {
    for (int i = 0; i < length; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            bool carry = (crc & 1) != 0;
            crc >>= 1;
            if (carry) crc ^= 0xA001;
        }
    }
    return crc;
}

uint16_t Crc16(uint16_t crc, std::span<const uint8_t> bytes) {
    for (uint8_t b : bytes) crc = Crc16(crc, &b, 1);
    return crc;
}
