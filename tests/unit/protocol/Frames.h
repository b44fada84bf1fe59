#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "protocol/Crc16.h"
#include "protocol/Poll.h"

using Bytes = std::vector<uint8_t>;

// "01 03 00 0A " for assertion messages.
inline std::string ToHex(const Bytes& bytes) {
    std::string text;
    char digits[4];
    for (uint8_t b : bytes) text += (std::snprintf(digits, sizeof digits, "%02X ", b), digits);
    return text;
}

// An RTU frame: the bytes given, then their CRC low byte first.
inline Bytes WithCrc(Bytes frame) {
    uint16_t crc = Crc16(0xFFFF, frame);
    frame.insert(frame.end(), {static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8)});
    return frame;
}

// An MBAP frame: transaction 1, protocol 0, the length of the bytes given.
inline Bytes WithMbap(const Bytes& pdu) {
    Bytes frame = {
        0, 1, 0, 0, static_cast<uint8_t>(pdu.size() >> 8), static_cast<uint8_t>(pdu.size())};
    frame.insert(frame.end(), pdu.begin(), pdu.end());
    return frame;
}

inline Poll MadePoll(uint8_t function, uint16_t start, uint16_t size, int32_t preset) {
    Poll poll;
    MakePoll(function, start, size, preset, poll);
    return poll;
}

// Decoded values as "address=value" in address order.
template <typename Items>
std::wstring Values(const Items& items) {
    std::map<uint16_t, std::wstring> sorted;
    for (const auto& [address, item] : items) sorted[address] = item.FormatText();
    std::wstring text;
    for (const auto& [address, value] : sorted)
        text += (text.empty() ? L"" : L" ") + std::to_wstring(address) + L"=" + value;
    return text;
}
