#include "tools/slave-sim/Slave.h"

#include <cstring>

namespace slavesim {

namespace {

// Modbus Application Protocol V1.1b3, 6.1 to 6.12: quantity limits.
constexpr unsigned kMaxReadBits = 2000;
constexpr unsigned kMaxReadRegisters = 125;
constexpr unsigned kMaxWriteCoils = 1968;
constexpr unsigned kMaxWriteRegisters = 123;
// A PDU is at most 253 bytes (4.1); the float and double functions carry a
// 4-byte start and a 1-byte count, so their item limits follow from that.
constexpr unsigned kMaxPdu = 253;
constexpr unsigned kRealRequestHeader = 6;  // function, start (4), count (1)
constexpr unsigned kRealReplyHeader = 2;    // function, item count byte

uint16_t Be16(const std::vector<uint8_t>& pdu, size_t at) {
    return static_cast<uint16_t>((pdu[at] << 8) | pdu[at + 1]);
}

void PutBe16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value & 0xFF));
}

bool RangeFits(uint32_t start, uint32_t count) { return start + count <= 65536; }

size_t RealSize(Table table) { return table == Table::Float ? 4 : 8; }

uint64_t RealBits(const Bank& bank, Table table, uint16_t address) {
    if (table == Table::Float) {
        const float value = bank.Float(address);
        uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        return bits;
    }
    const double value = bank.Double(address);
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

void SetRealBits(Bank& bank, Table table, uint16_t address, uint64_t bits) {
    if (table == Table::Float) {
        const uint32_t narrow = static_cast<uint32_t>(bits);
        float value;
        std::memcpy(&value, &narrow, sizeof value);
        bank.SetFloat(address, value);
    } else {
        double value;
        std::memcpy(&value, &bits, sizeof value);
        bank.SetDouble(address, value);
    }
}

}  // namespace

std::vector<uint8_t> Slave::Exception(uint8_t function, uint8_t code) {
    return {static_cast<uint8_t>(function | 0x80), code};
}

std::vector<uint8_t> Slave::Handle(const std::vector<uint8_t>& pdu,
                                   std::vector<WrittenAddress>* written) {
    if (pdu.empty()) return {};
    if (pdu.size() > kMaxPdu) return Exception(pdu[0], kIllegalDataValue);
    switch (pdu[0]) {
        case 1:
            return ReadBits(pdu, Table::Coil);
        case 2:
            return ReadBits(pdu, Table::DiscreteInput);
        case 3:
            return ReadRegisters(pdu, Table::HoldingRegister);
        case 4:
            return ReadRegisters(pdu, Table::InputRegister);
        case 5:
            return WriteSingleCoil(pdu, written);
        case 6:
            return WriteSingleRegister(pdu, written);
        case 15:
            return WriteCoils(pdu, written);
        case 16:
            return WriteRegisters(pdu, written);
        case 65:
            return ReadReals(pdu, Table::Float);
        case 66:
            return WriteReals(pdu, Table::Float, written);
        case 67:
            return ReadReals(pdu, Table::Double);
        case 68:
            return WriteReals(pdu, Table::Double, written);
        default:
            return Exception(pdu[0], kIllegalFunction);
    }
}

std::vector<uint8_t> Slave::ReadBits(const std::vector<uint8_t>& pdu, Table table) {
    if (pdu.size() != 5) return Exception(pdu[0], kIllegalDataValue);
    const uint16_t start = Be16(pdu, 1);
    const uint16_t count = Be16(pdu, 3);
    if (count < 1 || count > kMaxReadBits) return Exception(pdu[0], kIllegalDataValue);
    if (!RangeFits(start, count)) return Exception(pdu[0], kIllegalDataAddress);
    std::vector<uint8_t> reply{pdu[0], static_cast<uint8_t>((count + 7) / 8)};
    reply.resize(2 + reply[1], 0);
    for (unsigned i = 0; i < count; ++i) {
        if (bank_.Bit(table, static_cast<uint16_t>(start + i))) {
            reply[2 + i / 8] |= static_cast<uint8_t>(1u << (i % 8));
        }
    }
    return reply;
}

std::vector<uint8_t> Slave::ReadRegisters(const std::vector<uint8_t>& pdu, Table table) {
    if (pdu.size() != 5) return Exception(pdu[0], kIllegalDataValue);
    const uint16_t start = Be16(pdu, 1);
    const uint16_t count = Be16(pdu, 3);
    if (count < 1 || count > kMaxReadRegisters) return Exception(pdu[0], kIllegalDataValue);
    if (!RangeFits(start, count)) return Exception(pdu[0], kIllegalDataAddress);
    std::vector<uint8_t> reply{pdu[0], static_cast<uint8_t>(count * 2)};
    for (unsigned i = 0; i < count; ++i) {
        PutBe16(reply, bank_.Register(table, static_cast<uint16_t>(start + i)));
    }
    return reply;
}

std::vector<uint8_t> Slave::WriteSingleCoil(const std::vector<uint8_t>& pdu,
                                            std::vector<WrittenAddress>* written) {
    if (pdu.size() != 5) return Exception(pdu[0], kIllegalDataValue);
    const uint16_t value = Be16(pdu, 3);
    // 6.5: only FF 00 (on) and 00 00 (off) are values.
    if (value != 0xFF00 && value != 0x0000) return Exception(pdu[0], kIllegalDataValue);
    const uint16_t address = Be16(pdu, 1);
    bank_.SetBit(Table::Coil, address, value == 0xFF00);
    if (written) written->push_back({Table::Coil, address});
    return pdu;
}

std::vector<uint8_t> Slave::WriteSingleRegister(const std::vector<uint8_t>& pdu,
                                                std::vector<WrittenAddress>* written) {
    if (pdu.size() != 5) return Exception(pdu[0], kIllegalDataValue);
    const uint16_t address = Be16(pdu, 1);
    bank_.SetRegister(Table::HoldingRegister, address, Be16(pdu, 3));
    if (written) written->push_back({Table::HoldingRegister, address});
    return pdu;
}

std::vector<uint8_t> Slave::WriteCoils(const std::vector<uint8_t>& pdu,
                                       std::vector<WrittenAddress>* written) {
    if (pdu.size() < 6) return Exception(pdu[0], kIllegalDataValue);
    const uint16_t start = Be16(pdu, 1);
    const uint16_t count = Be16(pdu, 3);
    const uint8_t byteCount = pdu[5];
    if (count < 1 || count > kMaxWriteCoils || byteCount != (count + 7) / 8 ||
        pdu.size() != 6u + byteCount) {
        return Exception(pdu[0], kIllegalDataValue);
    }
    if (!RangeFits(start, count)) return Exception(pdu[0], kIllegalDataAddress);
    for (unsigned i = 0; i < count; ++i) {
        const uint16_t address = static_cast<uint16_t>(start + i);
        bank_.SetBit(Table::Coil, address, (pdu[6 + i / 8] >> (i % 8)) & 1);
        if (written) written->push_back({Table::Coil, address});
    }
    return {pdu[0], pdu[1], pdu[2], pdu[3], pdu[4]};
}

std::vector<uint8_t> Slave::WriteRegisters(const std::vector<uint8_t>& pdu,
                                           std::vector<WrittenAddress>* written) {
    if (pdu.size() < 6) return Exception(pdu[0], kIllegalDataValue);
    const uint16_t start = Be16(pdu, 1);
    const uint16_t count = Be16(pdu, 3);
    const uint8_t byteCount = pdu[5];
    if (count < 1 || count > kMaxWriteRegisters || byteCount != count * 2 ||
        pdu.size() != 6u + byteCount) {
        return Exception(pdu[0], kIllegalDataValue);
    }
    if (!RangeFits(start, count)) return Exception(pdu[0], kIllegalDataAddress);
    for (unsigned i = 0; i < count; ++i) {
        const uint16_t address = static_cast<uint16_t>(start + i);
        bank_.SetRegister(Table::HoldingRegister, address, Be16(pdu, 6 + 2 * i));
        if (written) written->push_back({Table::HoldingRegister, address});
    }
    return {pdu[0], pdu[1], pdu[2], pdu[3], pdu[4]};
}

// Request: function, start (4 bytes, high first), item count (1 byte).
// Reply: function, item count byte, the items most significant byte first.
std::vector<uint8_t> Slave::ReadReals(const std::vector<uint8_t>& pdu, Table table) {
    if (pdu.size() != kRealRequestHeader) return Exception(pdu[0], kIllegalDataValue);
    const uint32_t start =
        (uint32_t{pdu[1]} << 24) | (uint32_t{pdu[2]} << 16) | (uint32_t{pdu[3]} << 8) | pdu[4];
    const unsigned count = pdu[5];
    const size_t size = RealSize(table);
    if (count < 1 || kRealReplyHeader + count * size > kMaxPdu) {
        return Exception(pdu[0], kIllegalDataValue);
    }
    if (!RangeFits(start, count)) return Exception(pdu[0], kIllegalDataAddress);
    const uint8_t countByte =
        static_cast<uint8_t>(itemCountByte_ == ItemCountByte::Bytes ? count * size : count);
    std::vector<uint8_t> reply{pdu[0], countByte};
    for (unsigned i = 0; i < count; ++i) {
        const uint64_t bits = RealBits(bank_, table, static_cast<uint16_t>(start + i));
        for (size_t b = size; b-- > 0;) reply.push_back(static_cast<uint8_t>(bits >> (8 * b)));
    }
    return reply;
}

// Request: function, start (4 bytes), item count (1 byte), the items; no byte
// count. Reply: function, item count.
std::vector<uint8_t> Slave::WriteReals(const std::vector<uint8_t>& pdu, Table table,
                                       std::vector<WrittenAddress>* written) {
    if (pdu.size() < kRealRequestHeader) return Exception(pdu[0], kIllegalDataValue);
    const uint32_t start =
        (uint32_t{pdu[1]} << 24) | (uint32_t{pdu[2]} << 16) | (uint32_t{pdu[3]} << 8) | pdu[4];
    const unsigned count = pdu[5];
    const size_t size = RealSize(table);
    if (count < 1 || kRealRequestHeader + count * size > kMaxPdu ||
        pdu.size() != kRealRequestHeader + count * size) {
        return Exception(pdu[0], kIllegalDataValue);
    }
    if (!RangeFits(start, count)) return Exception(pdu[0], kIllegalDataAddress);
    for (unsigned i = 0; i < count; ++i) {
        uint64_t bits = 0;
        for (size_t b = 0; b < size; ++b)
            bits = (bits << 8) | pdu[kRealRequestHeader + i * size + b];
        const uint16_t address = static_cast<uint16_t>(start + i);
        SetRealBits(bank_, table, address, bits);
        if (written) written->push_back({table, address});
    }
    return {pdu[0], pdu[5]};
}

}  // namespace slavesim
