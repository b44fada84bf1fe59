#include "protocol/Framing.h"

#include "protocol/Crc16.h"
#include "protocol/ModbusPacket.h"
#include "protocol/ProtocolTable.h"

namespace {

// Modbus Messaging on TCP/IP V1.0b, 3.1.3: transaction id, protocol id 0 and
// the length of what follows (unit id and PDU), each high byte first.
class MbapFraming final : public Framing {
  public:
    static constexpr size_t kHeaderSize = 6;

    void OpenRequest(std::vector<uint8_t>& bytes, uint16_t transactionId) const override {
        bytes.push_back(static_cast<uint8_t>(transactionId >> 8));
        bytes.push_back(static_cast<uint8_t>(transactionId));
        bytes.insert(bytes.end(), {0, 0, 0, 0});  // protocol id 0, length filled in last
    }

    void CloseRequest(std::vector<uint8_t>& bytes) const override {
        auto size = static_cast<uint16_t>(bytes.size() - kHeaderSize);
        bytes[4] = static_cast<uint8_t>(size >> 8);
        bytes[5] = static_cast<uint8_t>(size);
    }

    ParseResult ReadHeader(ModbusPacket& packet) const override {
        const std::vector<uint8_t>& b = packet.bytes;
        if (b.size() < kHeaderSize) return ParseTruncated;
        packet.transactionId = static_cast<uint16_t>(b[0] << 8 | b[1]);
        packet.protocolId = static_cast<uint16_t>(b[2] << 8 | b[3]);
        packet.length = static_cast<uint16_t>(b[4] << 8 | b[5]);
        packet.readPos = kHeaderSize;
        if (packet.protocolId != 0) return ParseTcpProtocolNonZero;
        if (packet.length != b.size() - kHeaderSize) return ParseTcpLengthInvalid;
        return ParseByteOk;
    }

    size_t TrailerSize() const override { return 0; }
    ParseResult CheckIntegrity(const std::vector<uint8_t>&) const override { return ParseByteOk; }

    PacketField FirstState() const override { return PacketField::tcpid; }

    ParseResult HeaderField(ModbusPacket& packet, PacketField field,
                            uint16_t value) const override {
        switch (field) {
            case PacketField::tcpid:
                packet.transactionId = value;
                packet.state = PacketField::tcpprotocol;
                return ParseByteOk;
            case PacketField::tcpprotocol:
                packet.protocolId = value;
                packet.state = PacketField::tcpsize;
                return value != 0 ? ParseTcpProtocolNonZero : ParseByteOk;
            case PacketField::tcpsize:
                packet.length = value;
                packet.state = PacketField::address;
                return value >= 256 ? ParseTcpLengthInvalid : ParseByteOk;
            default:
                return ParseInternalError;
        }
    }

    // The message is complete when the length announced the bytes received.
    ParseResult FieldsEnded(ModbusPacket& packet) const override {
        packet.fieldIndex = -1;
        packet.state = PacketField::end;
        return packet.length == packet.bytes.size() - kHeaderSize ? ParseMessageDone
                                                                  : ParseTcpLengthInvalid;
    }

    ParseResult TrailerComplete(ModbusPacket&) const override { return ParseInternalError; }
};

// Modbus over Serial Line V1.02, 2.5.1: address, PDU, CRC low byte first. The
// frame ends at the silence after it, so the parser never reports it done.
class RtuFraming final : public Framing {
  public:
    static constexpr size_t kCrcSize = 2;

    void OpenRequest(std::vector<uint8_t>&, uint16_t) const override {}

    void CloseRequest(std::vector<uint8_t>& bytes) const override {
        uint16_t crc = Crc16(0xFFFF, bytes);
        bytes.push_back(static_cast<uint8_t>(crc));
        bytes.push_back(static_cast<uint8_t>(crc >> 8));
    }

    ParseResult ReadHeader(ModbusPacket& packet) const override {
        packet.readPos = 0;
        return ParseByteOk;
    }

    size_t TrailerSize() const override { return kCrcSize; }

    ParseResult CheckIntegrity(const std::vector<uint8_t>& bytes) const override {
        if (bytes.size() < kCrcSize) return ParseTruncated;
        return Crc16(0xFFFF, bytes) == 0 ? ParseByteOk : ParseCrcMismatch;
    }

    PacketField FirstState() const override { return PacketField::address; }

    ParseResult HeaderField(ModbusPacket&, PacketField, uint16_t) const override {
        return ParseInternalError;
    }

    ParseResult FieldsEnded(ModbusPacket& packet) const override {
        packet.fieldIndex = -1;
        packet.state = PacketField::crc;
        return ParseByteOk;
    }

    ParseResult TrailerComplete(ModbusPacket& packet) const override {
        packet.state = PacketField::end;
        return ParseByteOk;
    }
};

// Address and PDU with nothing around them.
class BareFraming final : public Framing {
  public:
    void OpenRequest(std::vector<uint8_t>&, uint16_t) const override {}
    void CloseRequest(std::vector<uint8_t>&) const override {}
    ParseResult ReadHeader(ModbusPacket& packet) const override {
        packet.readPos = 0;
        return ParseByteOk;
    }
    size_t TrailerSize() const override { return 0; }
    ParseResult CheckIntegrity(const std::vector<uint8_t>&) const override { return ParseByteOk; }
    PacketField FirstState() const override { return PacketField::address; }
    ParseResult HeaderField(ModbusPacket&, PacketField, uint16_t) const override {
        return ParseInternalError;
    }
    ParseResult FieldsEnded(ModbusPacket& packet) const override {
        packet.fieldIndex = -1;
        packet.state = PacketField::end;
        return ParseMessageDone;
    }
    ParseResult TrailerComplete(ModbusPacket&) const override { return ParseInternalError; }
};

}  // namespace

const Framing& Framing::For(uint8_t protocol) {
    static const MbapFraming mbap;
    static const RtuFraming rtu;
    static const BareFraming bare;
    if (protocol == Protocol::Tcp) return mbap;
    if (protocol == Protocol::Rtu) return rtu;
    return bare;
}
