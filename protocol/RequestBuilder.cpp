// Request building of ModbusPacket: the PDU of every function code. The
// framing around it (MBAP header or CRC) comes from Framing.
#include "protocol/Framing.h"
#include "protocol/ModbusPacket.h"
#include "protocol/ValueEncoding.h"

namespace {

namespace FC = FunctionCode;

// The value of a request's count field: items, or 16-bit registers.
uint32_t CountValue(const ModbusPacket& packet) {
    if (packet.preset && packet.preset->countIsItems) return packet.count;
    return static_cast<uint32_t>(ByteCountFor(packet.preset, 1)) * packet.count / 2;
}

bool IsBitPreset(const FormatPreset* preset) {
    return preset && preset->encoding == ValueEncoding::Bit;
}

// Every field must hold its value whole; a cut count or byte count would
// make the slave write other addresses than the user asked for.
BuildError CheckFields(const ModbusPacket& packet, const ModbusFunction& row) {
    if (row.RequestHas(PacketField::count)) {
        uint32_t value = CountValue(packet);
        // Modbus counts of the Daniel extensions are one byte.
        if (FC::IsDaniel(row.code) && value > 0xFF) return BuildError::ItemCountTooLarge;
        if (value > 0xFFFF) return BuildError::CountTooLarge;
    }
    switch (row.code) {
        case FC::WriteSingleRegister:
            if (ByteCountFor(packet.preset, 1) != 2) return BuildError::PresetNotSixteenBit;
            break;
        case FC::ForceMultipleCoils:
            if (!IsBitPreset(packet.preset)) return BuildError::PresetDoesNotSuit;
            if ((packet.count + 7u) / 8u > 0xFF) return BuildError::ByteCountTooLarge;
            break;
        case FC::ForceMultipleRegisters:
            if (IsBitPreset(packet.preset)) return BuildError::PresetDoesNotSuit;
            if (static_cast<uint32_t>(ByteCountFor(packet.preset, 1)) * packet.count > 0xFF)
                return BuildError::ByteCountTooLarge;
            break;
        case FC::DanielWriteFloats:
        case FC::DanielWriteDoubles:
            if (IsBitPreset(packet.preset)) return BuildError::PresetDoesNotSuit;
            break;
        default:
            break;
    }
    return BuildError::None;
}

void Append16(std::vector<uint8_t>& bytes, uint16_t value) {
    bytes.push_back(static_cast<uint8_t>(value >> 8));
    bytes.push_back(static_cast<uint8_t>(value));
}

const DataItem& ItemAt(const ModbusPacket& packet, uint16_t address) {
    static const DataItem kMissing;  // a missing item is sent as zeros
    const DataItem* item = packet.items.Find(address);
    return item ? *item : kMissing;
}

void AppendData(ModbusPacket& packet) {
    std::vector<uint8_t>& bytes = packet.bytes;
    switch (packet.function) {
        case FC::WriteSingleCoil:
            // Modbus Application Protocol V1.1b3, 6.5: FF 00 on, 00 00 off.
            bytes.push_back(ItemAt(packet, packet.start).AsBit() ? 0xFF : 0x00);
            bytes.push_back(0x00);
            break;
        case FC::WriteSingleRegister:
        case FC::ForceMultipleRegisters:
        case FC::DanielWriteFloats:
        case FC::DanielWriteDoubles:
            // Poll order, so a write whose addresses wrap past 65535 still
            // sends item 0 first.
            for (uint16_t address : packet.WriteAddresses())
                EncodeValue(packet.encoding, ItemAt(packet, address), bytes);
            break;
        case FC::ForceMultipleCoils: {
            // Eight coils to a byte, the first in the least significant bit.
            uint8_t packed = 0;
            int filled = 0;
            for (uint16_t address : packet.WriteAddresses()) {
                if (ItemAt(packet, address).AsBit()) packed |= static_cast<uint8_t>(1u << filled);
                if (++filled == 8) {
                    bytes.push_back(packed);
                    packed = 0;
                    filled = 0;
                }
            }
            if (filled > 0) bytes.push_back(packed);
            break;
        }
        default:
            break;
    }
}

}  // namespace

BuildError ModbusPacket::CheckRequest() const {
    if (!bytes.empty()) return BuildError::NotEmpty;
    const ModbusFunction* row = FindFunction(function);
    if (!row) return BuildError::UnsupportedFunction;
    return CheckFields(*this, *row);
}

bool ModbusPacket::BuildRequest(uint8_t framingProtocol) {
    if (!bytes.empty()) {
        buildError = BuildError::NotEmpty;
        return false;
    }
    // One block for the whole request: framing and fields take at most 20
    // bytes, and no value encodes to more than 8.
    bytes.reserve(20 + 8 * items.Size());
    const Framing& framing = Framing::For(framingProtocol);
    framing.OpenRequest(bytes, transactionId);
    bytes.push_back(address);
    bytes.push_back(function);

    const ModbusFunction* row = FindFunction(function);
    buildError = row ? CheckFields(*this, *row) : BuildError::UnsupportedFunction;
    if (buildError != BuildError::None) return false;

    // The Daniel functions send the 16-bit start zero-extended to 32 bits.
    if (FunctionCode::IsDaniel(function)) Append16(bytes, 0);
    Append16(bytes, start);
    if (row->RequestHas(PacketField::count)) {
        auto value = static_cast<uint16_t>(CountValue(*this));
        if (FunctionCode::IsDaniel(function))
            bytes.push_back(static_cast<uint8_t>(value));
        else
            Append16(bytes, value);
    }
    if (row->RequestHas(PacketField::bytecount))
        bytes.push_back(static_cast<uint8_t>(ByteCountFor(preset, count)));
    AppendData(*this);
    framing.CloseRequest(bytes);
    return true;
}
