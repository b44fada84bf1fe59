#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "protocol/DataItem.h"

// The byte layouts of one item on the wire. For 32-bit values ABCD names the
// value's bytes from the most significant (A) down; the name gives the order
// in which they are sent.
namespace ValueEncoding {
constexpr uint8_t Bit = 1;                     // packed bits
constexpr uint8_t Byte = 2;                    // one byte
constexpr uint8_t UnsignedShortHighFirst = 3;  // 16-bit, high byte first
constexpr uint8_t UnsignedShortLowFirst = 4;   // 16-bit, low byte first
constexpr uint8_t FloatABCD = 5;
constexpr uint8_t FloatCDAB = 6;  // 16-bit words swapped
constexpr uint8_t FloatDCBA = 7;
constexpr uint8_t FloatBADC = 8;  // bytes swapped within each word
constexpr uint8_t DoubleHighFirst = 9;
constexpr uint8_t DoubleLowFirst = 10;
constexpr uint8_t UnsignedIntABCD = 11;
constexpr uint8_t UnsignedIntCDAB = 12;
constexpr uint8_t UnsignedIntDCBA = 13;
constexpr uint8_t UnsignedIntBADC = 14;
constexpr uint8_t String8 = 15;  // eight 8-bit characters, zero padded
}  // namespace ValueEncoding

// The item type an encoding produces; Unknown outside 1 to 15.
DataItem::Type TypeForEncoding(uint8_t encoding);

// Data bytes of n items in an encoding, as a 16-bit value: bits (n + 7) / 8,
// bytes n, 16-bit 2n, 32-bit 4n, doubles and texts 8n, anything else 2n.
// A result of 0 (an unknown code, or a product that wraps to 0 in 16 bits)
// becomes 2n in 16 bits. With n = 1 it is the bytes per item.
uint16_t ByteCountForEncoding(uint8_t encoding, uint16_t n);

// Decodes one item from its bytes in wire order. Bytes beyond the end of the
// span count as zero; an encoding outside 1 to 15 gives an Unknown item.
DataItem DecodeValue(uint8_t encoding, std::span<const uint8_t> bytes);

// Appends one item to a request in the encoding's wire order. An item whose
// type does not suit the encoding contributes zeros of the encoding's width;
// codes outside 2 to 15 are encoded as 16-bit high byte first.
void EncodeValue(uint8_t encoding, const DataItem& item, std::vector<uint8_t>& out);
