#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "protocol/Crc16.h"

using Bytes = std::vector<uint8_t>;

// "01 03 00 0A" for assertion messages.
inline std::string ToHex(const Bytes& bytes) {
    std::string text;
    char digits[4];
    for (uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, "%02X ", b);
        text += digits;
    }
    return text;
}

// An RTU frame: the bytes given, then their CRC low byte first.
inline Bytes WithCrc(Bytes frame) {
    uint16_t crc = Crc16(0xFFFF, frame);
    frame.push_back(static_cast<uint8_t>(crc));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

// An MBAP frame: transaction 1, protocol 0, the length of the bytes given.
inline Bytes WithMbap(const Bytes& pdu, uint16_t transaction = 1) {
    Bytes frame;
    frame.reserve(6 + pdu.size());
    for (unsigned value : {unsigned{transaction}, 0u, static_cast<unsigned>(pdu.size())}) {
        frame.push_back(static_cast<uint8_t>(value >> 8));
        frame.push_back(static_cast<uint8_t>(value));
    }
    for (uint8_t b : pdu) frame.push_back(b);
    return frame;
}
