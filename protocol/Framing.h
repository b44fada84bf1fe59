#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/PacketField.h"
#include "protocol/ParseResult.h"

class ModbusPacket;

// Everything that differs between the framings, in one place: the MBAP header
// of Modbus TCP, the CRC trailer of Modbus RTU, and the bare PDU of any other
// protocol id. The request builder and both reply decoders ask the framing
// instead of testing the protocol themselves.
class Framing {
  public:
    virtual ~Framing() = default;

    // 0 MBAP, 1 RTU, any other id bare.
    static const Framing& For(uint8_t protocol);

    // Requests: what goes before the address and after the PDU.
    virtual void OpenRequest(std::vector<uint8_t>& bytes, uint16_t transactionId) const = 0;
    virtual void CloseRequest(std::vector<uint8_t>& bytes) const = 0;

    // Whole replies: the header read from the start of the packet's bytes
    // (readPos moves past it), the bytes after the PDU, and the check of the
    // frame as a whole.
    virtual ParseResult ReadHeader(ModbusPacket& packet) const = 0;
    virtual size_t TrailerSize() const = 0;
    virtual ParseResult CheckIntegrity(const std::vector<uint8_t>& bytes) const = 0;

    // Byte parser: the state of the first byte, a completed header field,
    // the step after the PDU's last field, and the trailer's bytes.
    virtual PacketField FirstState() const = 0;
    virtual ParseResult HeaderField(ModbusPacket& packet, PacketField field,
                                    uint16_t value) const = 0;
    virtual ParseResult FieldsEnded(ModbusPacket& packet) const = 0;
    virtual ParseResult TrailerComplete(ModbusPacket& packet) const = 0;
};
