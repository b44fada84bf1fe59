// The whole-message reply decoder of ModbusPacket, used on the TCP link: it
// decodes a complete reply into a list of values and stores nothing until the
// whole reply is accepted.
#include <algorithm>

#include "protocol/Framing.h"
#include "protocol/ModbusPacket.h"
#include "protocol/ValueEncoding.h"

namespace {

namespace FC = FunctionCode;

// Bounded reads of the PDU: [readPos, end) of the packet's bytes.
class PduReader {
  public:
    PduReader(ModbusPacket& packet, size_t end) : packet_(packet), end_(end) {}

    bool Byte(uint8_t& value) {
        if (packet_.readPos >= end_) return false;
        value = packet_.bytes[packet_.readPos++];
        return true;
    }

    bool Take(size_t size, std::span<const uint8_t>& out) {
        if (end_ - packet_.readPos < size) return false;
        out = std::span<const uint8_t>(packet_.bytes).subspan(packet_.readPos, size);
        packet_.readPos += size;
        return true;
    }

    bool AtEnd() const { return packet_.readPos == end_; }

  private:
    ModbusPacket& packet_;
    size_t end_;
};

ParseResult DecodeBits(ModbusPacket& packet, PduReader& in, const Poll& poll, PacketItems& out) {
    if (!packet.preset) return ParseInternalError;
    if (!in.Byte(packet.byteCount)) return ParseTruncated;
    if (packet.byteCount != ByteCountFor(packet.preset, poll.size)) return ParseCountMismatch;
    std::span<const uint8_t> data;
    if (!in.Take(packet.byteCount, data)) return ParseTruncated;
    if (!in.AtEnd()) return ParseExtraBytes;
    // Bit i sits in bit (i mod 8) of data byte i / 8; the matching byte count
    // guarantees count bits are present.
    const size_t bits = std::min<size_t>(packet.count, data.size() * 8);
    out.SetRun(packet.start, bits,
               [&](size_t i) { return DataItem::MakeBit(((data[i / 8] >> (i % 8)) & 1) != 0); });
    return ParseMessageDone;
}

// Functions 3 and 4 carry a byte count; 65 and 67 an item count, which must
// be the poll's size, their data then being items x bytes per item.
ParseResult DecodeRegisters(ModbusPacket& packet, PduReader& in, const Poll& poll,
                            PacketItems& out) {
    if (!packet.preset) return ParseInternalError;
    if (!in.Byte(packet.byteCount)) return ParseTruncated;
    bool countsItems = FC::IsDaniel(packet.function);
    size_t itemSize = ByteCountFor(packet.preset, 1);
    uint32_t expected = countsItems ? poll.size : ByteCountFor(packet.preset, poll.size);
    if (packet.byteCount != expected) return ParseCountMismatch;
    size_t dataBytes = countsItems ? packet.byteCount * itemSize : packet.byteCount;
    std::span<const uint8_t> data;
    if (!in.Take(dataBytes, data)) return ParseTruncated;
    if (!in.AtEnd()) return ParseExtraBytes;
    uint16_t presetStep = packet.preset->step;
    out.Reserve(itemSize == 0 ? 0 : data.size() / itemSize);
    for (size_t i = 0; (i + 1) * itemSize <= data.size(); ++i) {
        auto address = static_cast<uint16_t>(packet.start + i * presetStep);
        out.Set(address, DecodeValue(packet.preset->encoding, data.subspan(i * itemSize, itemSize)));
    }
    return ParseMessageDone;
}

ParseResult Decode(ModbusPacket& packet, uint8_t protocol, uint8_t expectedAddress,
                   const Poll& poll, PacketItems& out) {
    const Framing& framing = Framing::For(protocol);
    packet.readPos = 0;
    packet.address = expectedAddress;
    packet.isException = false;
    packet.exceptionCode = 0;
    packet.items.Clear();

    ParseResult header = framing.ReadHeader(packet);
    if (header != ParseByteOk) return header;
    // The frame as a whole first: a corrupted RTU frame reports its CRC, not
    // whatever its damaged bytes happen to look like.
    ParseResult integrity = framing.CheckIntegrity(packet.bytes);
    if (integrity != ParseByteOk) return integrity;
    if (packet.bytes.size() < packet.readPos + framing.TrailerSize()) return ParseTruncated;
    PduReader in(packet, packet.bytes.size() - framing.TrailerSize());

    uint8_t address = 0, function = 0;
    if (!in.Byte(address)) return ParseTruncated;
    packet.address = address;
    if (address != expectedAddress) return ParseNotOurAddress;
    if (!in.Byte(function)) return ParseTruncated;
    packet.function = function;

    uint8_t asked = poll.FunctionCode();
    if (asked != 0 && function == (asked | FC::ExceptionFlag)) {
        packet.isException = true;
        if (!in.Byte(packet.exceptionCode)) return ParseTruncated;
        return in.AtEnd() ? ParseExceptionReply : ParseExtraBytes;
    }
    if (!FindFunction(function)) return ParseUnsupportedFunction;
    // Another supported code decoded at this poll's addresses would store
    // values where they do not belong.
    if (function != asked) return ParseUnexpectedFunction;

    packet.SetFromPoll(poll);
    switch (function) {
        case FC::ReadCoils:
        case FC::ReadInputs:
            return DecodeBits(packet, in, poll, out);
        case FC::ReadInputRegisters:
        case FC::ReadOutputRegisters:
        case FC::DanielReadFloats:
        case FC::DanielReadDoubles:
            return DecodeRegisters(packet, in, poll, out);
        default:
            // The echo of a write carries no values; it is not compared with
            // the request.
            return ParseMessageDone;
    }
}

}  // namespace

ParseResult ModbusPacket::DecodeReply(uint8_t framingProtocol, uint8_t expectedAddress,
                                      const Poll& poll) {
    const ParseResult result = Decode(*this, framingProtocol, expectedAddress, poll, items);
    if (result != ParseMessageDone) {
        items.Clear();
        return result;
    }
    readPos = bytes.size();
    return result;
}

bool ModbusPacket::ParseReply(uint8_t framingProtocol, uint8_t expectedAddress, const Poll& poll,
                              DataMap& map, std::vector<uint16_t>& changed) {
    if (DecodeReply(framingProtocol, expectedAddress, poll) != ParseMessageDone) return false;
    map.Commit(items, start, changed);
    return true;
}
