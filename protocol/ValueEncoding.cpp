#include "protocol/ValueEncoding.h"

#include <bit>
#include <cstring>

namespace E = ValueEncoding;

namespace {

uint8_t ByteAt(std::span<const uint8_t> bytes, size_t i) { return i < bytes.size() ? bytes[i] : 0; }

// Wire position of each of the value's bytes, most significant first, for
// the four 32-bit orders: ABCD, CDAB, DCBA, BADC.
constexpr size_t kOrder32[4][4] = {{0, 1, 2, 3}, {2, 3, 0, 1}, {3, 2, 1, 0}, {1, 0, 3, 2}};

// 0 for ABCD, 1 for CDAB, 2 for DCBA, 3 for BADC; -1 for other codes.
int Order32(uint8_t encoding) {
    if (encoding >= E::FloatABCD && encoding <= E::FloatBADC) return encoding - E::FloatABCD;
    if (encoding >= E::UnsignedIntABCD && encoding <= E::UnsignedIntBADC)
        return encoding - E::UnsignedIntABCD;
    return -1;
}

uint32_t Assemble32(int order, std::span<const uint8_t> bytes) {
    uint32_t pattern = 0;
    for (size_t k = 0; k < 4; ++k) pattern = (pattern << 8) | ByteAt(bytes, kOrder32[order][k]);
    return pattern;
}

void Emit32(int order, uint32_t pattern, std::vector<uint8_t>& out) {
    uint8_t wire[4];
    for (size_t k = 0; k < 4; ++k)
        wire[kOrder32[order][k]] = static_cast<uint8_t>(pattern >> (24 - 8 * k));
    out.insert(out.end(), wire, wire + 4);
}

uint64_t Assemble64(bool highFirst, std::span<const uint8_t> bytes) {
    uint64_t pattern = 0;
    for (size_t k = 0; k < 8; ++k) pattern = (pattern << 8) | ByteAt(bytes, highFirst ? k : 7 - k);
    return pattern;
}

void Emit64(bool highFirst, uint64_t pattern, std::vector<uint8_t>& out) {
    for (size_t k = 0; k < 8; ++k) {
        int shift = highFirst ? static_cast<int>(56 - 8 * k) : static_cast<int>(8 * k);
        out.push_back(static_cast<uint8_t>(pattern >> shift));
    }
}

void Emit16(bool highFirst, uint16_t value, std::vector<uint8_t>& out) {
    uint8_t high = static_cast<uint8_t>(value >> 8), low = static_cast<uint8_t>(value);
    out.push_back(highFirst ? high : low);
    out.push_back(highFirst ? low : high);
}

}  // namespace

DataItem::Type TypeForEncoding(uint8_t encoding) {
    switch (encoding) {
        case E::Bit:
            return DataItem::Bit;
        case E::Byte:
            return DataItem::Byte;
        case E::UnsignedShortHighFirst:
        case E::UnsignedShortLowFirst:
            return DataItem::UnsignedShort;
        case E::FloatABCD:
        case E::FloatCDAB:
        case E::FloatDCBA:
        case E::FloatBADC:
            return DataItem::Float;
        case E::DoubleHighFirst:
        case E::DoubleLowFirst:
            return DataItem::Double;
        case E::UnsignedIntABCD:
        case E::UnsignedIntCDAB:
        case E::UnsignedIntDCBA:
        case E::UnsignedIntBADC:
            return DataItem::UnsignedInt;
        case E::String8:
            return DataItem::String;
        default:
            return DataItem::Unknown;
    }
}

uint16_t ByteCountForEncoding(uint8_t encoding, uint16_t n) {
    uint16_t bytes = 0;
    switch (TypeForEncoding(encoding)) {
        case DataItem::Bit:
            bytes = static_cast<uint16_t>((n + 7u) / 8u);
            break;
        case DataItem::Byte:
            bytes = n;
            break;
        case DataItem::UnsignedShort:
            bytes = static_cast<uint16_t>(2u * n);
            break;
        case DataItem::Float:
        case DataItem::UnsignedInt:
            bytes = static_cast<uint16_t>(4u * n);
            break;
        case DataItem::Double:
        case DataItem::String:
            bytes = static_cast<uint16_t>(8u * n);
            break;
        default:
            break;
    }
    return bytes != 0 ? bytes : static_cast<uint16_t>(2u * n);
}

DataItem DecodeValue(uint8_t encoding, std::span<const uint8_t> bytes) {
    uint8_t b0 = ByteAt(bytes, 0), b1 = ByteAt(bytes, 1);
    switch (TypeForEncoding(encoding)) {
        case DataItem::Bit:
            return DataItem::MakeBit((b0 & 1) != 0);
        case DataItem::Byte:
            return DataItem::MakeByte(b0);
        case DataItem::UnsignedShort:
            return DataItem::MakeUnsignedShort(encoding == E::UnsignedShortHighFirst
                                                   ? static_cast<uint16_t>(b0 << 8 | b1)
                                                   : static_cast<uint16_t>(b1 << 8 | b0));
        case DataItem::Float:
            return DataItem::MakeFloat(std::bit_cast<float>(Assemble32(Order32(encoding), bytes)));
        case DataItem::UnsignedInt:
            return DataItem::MakeUnsignedInt(Assemble32(Order32(encoding), bytes));
        case DataItem::Double:
            return DataItem::MakeDouble(
                std::bit_cast<double>(Assemble64(encoding == E::DoubleHighFirst, bytes)));
        case DataItem::String: {
            std::string text;
            for (size_t i = 0; i < 8 && ByteAt(bytes, i) != 0; ++i)
                text.push_back(static_cast<char>(bytes[i]));
            return DataItem::MakeString(std::move(text));
        }
        default:
            return DataItem();
    }
}

void EncodeValue(uint8_t encoding, const DataItem& item, std::vector<uint8_t>& out) {
    // The accessors give zero for an item of another type, which is exactly
    // the zero filling a mismatched item gets.
    switch (encoding) {
        case E::Byte:
            out.push_back(item.AsByte());
            return;
        case E::UnsignedShortLowFirst:
            Emit16(false, item.AsUnsignedShort(), out);
            return;
        case E::FloatABCD:
        case E::FloatCDAB:
        case E::FloatDCBA:
        case E::FloatBADC:
            Emit32(Order32(encoding), std::bit_cast<uint32_t>(item.AsFloat()), out);
            return;
        case E::UnsignedIntABCD:
        case E::UnsignedIntCDAB:
        case E::UnsignedIntDCBA:
        case E::UnsignedIntBADC:
            Emit32(Order32(encoding), item.AsUnsignedInt(), out);
            return;
        case E::DoubleHighFirst:
        case E::DoubleLowFirst:
            Emit64(encoding == E::DoubleHighFirst, std::bit_cast<uint64_t>(item.AsDouble()), out);
            return;
        case E::String8: {
            const std::string& text = item.Text();
            for (size_t i = 0; i < 8; ++i)
                out.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
            return;
        }
        default:
            Emit16(true, item.AsUnsignedShort(), out);
            return;
    }
}
