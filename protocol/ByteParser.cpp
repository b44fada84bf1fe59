// The byte-by-byte reply parser of ModbusPacket, used on the serial link: it
// walks the reply's field list one byte at a time and answers each byte with
// a ParseResult. The framing's own bytes are handled by Framing.
#include <algorithm>
#include <iterator>

#include "protocol/DebugTrace.h"
#include "protocol/Framing.h"
#include "protocol/ModbusPacket.h"
#include "protocol/ValueEncoding.h"

namespace {

namespace FC = FunctionCode;

bool IsFault(ParseResult result) { return result != ParseByteOk && result != ParseMessageDone; }

// The first fault decides the frame; from then on it keeps no values.
void NoteFault(ModbusPacket& packet, ParseResult result) {
    if (packet.fault != ParseByteOk) return;
    packet.fault = result;
    packet.items.Clear();
}

bool IsTwoByteField(const ModbusPacket& packet, PacketField field) {
    switch (field) {
        case PacketField::tcpid:
        case PacketField::tcpprotocol:
        case PacketField::tcpsize:
        case PacketField::start:
        case PacketField::crc:
            return true;
        case PacketField::count:
            return !FC::IsDaniel(packet.function);
        default:
            return false;
    }
}

// Moves to the next field of the reply's list; after the last one the
// framing decides what follows (the CRC, or the end of the message).
ParseResult Advance(ModbusPacket& packet) {
    const ModbusFunction* row = packet.functionRow;
    if (!row) return ParseInternalError;
    ++packet.fieldIndex;
    if (packet.fieldIndex < 0 || static_cast<size_t>(packet.fieldIndex) >= row->replyFields.size())
        return Framing::For(packet.protocol).FieldsEnded(packet);
    packet.state = row->replyFields[static_cast<size_t>(packet.fieldIndex)];
    return ParseByteOk;
}

void BeginData(ModbusPacket& packet, uint8_t itemSize, uint32_t itemsExpected, uint32_t dataBytes) {
    packet.itemSize = std::clamp<uint8_t>(itemSize, 1, sizeof(packet.itemBuffer));
    packet.itemsExpected = itemsExpected;
    packet.itemsDone = 0;
    packet.itemFill = 0;
    packet.dataRemaining = dataBytes;
}

ParseResult AddressByte(ModbusPacket& packet, uint8_t b) {
    packet.address = b;
    packet.state = PacketField::function;
    const auto& accepted = packet.acceptedAddresses;
    if (!accepted.empty() && std::find(accepted.begin(), accepted.end(), b) == accepted.end())
        return ParseNotOurAddress;
    return ParseByteOk;
}

// The function must be the request's (the packet's function as prepared) or
// its exception form; a packet prepared without a function takes any
// supported code. On a failure the state stays function.
ParseResult FunctionByte(ModbusPacket& packet, uint8_t b) {
    uint8_t expected = packet.function;
    auto plain = static_cast<uint8_t>(b & ~FC::ExceptionFlag);
    if ((b & FC::ExceptionFlag) && FindFunction(plain)) {
        if (expected != 0 && plain != expected) return ParseUnexpectedFunction;
        packet.function = b;
        packet.isException = true;
        packet.functionRow = nullptr;
        packet.fieldIndex = -1;
        packet.state = PacketField::exception;
        return ParseByteOk;
    }
    const ModbusFunction* row = FindFunction(b);
    if (!row) return ParseUnsupportedFunction;
    if (expected != 0 && b != expected) return ParseUnexpectedFunction;
    packet.function = b;
    packet.functionRow = row;
    packet.fieldIndex = 0;
    packet.state = row->replyFields.front();
    return ParseByteOk;
}

ParseResult ExceptionByte(ModbusPacket& packet, uint8_t b) {
    packet.exceptionCode = b;
    return Framing::For(packet.protocol).FieldsEnded(packet);
}

// The byte count (1 to 4) or item count (65, 67) must be what the poll asked
// for; otherwise the data that follows is walked by the reply's own count but
// not kept, so a short reply never decodes its CRC as a value.
ParseResult CountByte(ModbusPacket& packet, uint8_t b) {
    if (!packet.preset) return ParseInternalError;
    packet.byteCount = b;
    uint8_t itemSize = static_cast<uint8_t>(ByteCountFor(packet.preset, 1));
    bool countsItems = packet.state == PacketField::itemcount;
    uint32_t expected = countsItems ? packet.count : ByteCountFor(packet.preset, packet.count);
    uint32_t dataBytes = countsItems ? static_cast<uint32_t>(b) * itemSize : b;
    BeginData(packet, itemSize, packet.count, dataBytes);
    ParseResult result = b == expected ? ParseByteOk : ParseCountMismatch;
    ParseResult next = Advance(packet);
    if (next == ParseByteOk && packet.dataRemaining == 0) next = Advance(packet);
    return result != ParseByteOk ? result : next;
}

ParseResult DataByte(ModbusPacket& packet, uint8_t b) {
    if (packet.itemFill >= sizeof(packet.itemBuffer) || packet.dataRemaining == 0)
        return ParseInternalError;
    packet.itemBuffer[packet.itemFill++] = b;
    bool keep = packet.fault == ParseByteOk;
    if (packet.function == FC::ReadCoils || packet.function == FC::ReadInputs) {
        for (uint32_t k = 0; k < 8 && packet.itemsDone + k < packet.itemsExpected; ++k) {
            if (keep)
                packet.items.Set(static_cast<uint16_t>(packet.start + packet.itemsDone + k),
                                 DataItem::MakeBit(((b >> k) & 1) != 0));
        }
        packet.itemsDone += 8;
        packet.itemFill = 0;
    } else if (packet.itemFill >= packet.itemSize) {
        if (packet.preset && keep) {
            auto address =
                static_cast<uint16_t>(packet.start + packet.itemsDone * packet.preset->step);
            packet.items.Set(address, DecodeValue(packet.preset->encoding,
                                                  std::span<const uint8_t>(packet.itemBuffer,
                                                                           packet.itemSize)));
        }
        ++packet.itemsDone;
        packet.itemFill = 0;
    }
    if (--packet.dataRemaining > 0) return ParseByteOk;
    return Advance(packet);
}

ParseResult StartComplete(ModbusPacket& packet, uint16_t value) {
    packet.start = value;
    if (packet.function == FC::WriteSingleCoil) BeginData(packet, 2, 1, 2);
    if (packet.function == FC::WriteSingleRegister) {
        auto size = static_cast<uint8_t>(ByteCountFor(packet.preset, 1));
        BeginData(packet, size, 1, size);
    }
    ParseResult next = Advance(packet);
    if (next != ParseByteOk) return next;
    bool held = packet.ranges.empty() ||
                std::any_of(packet.ranges.begin(), packet.ranges.end(), [&](const AddressRange& r) {
                    return r.Holds(packet.function, packet.start);
                });
    return held ? ParseByteOk : ParseAddressOutOfRange;
}

ParseResult CountComplete(ModbusPacket& packet, uint16_t value) {
    packet.count = value;
    ParseResult range = packet.CheckRange();
    if (range == ParseByteOk) {
        uint16_t presetStep = packet.preset->step != 0 ? packet.preset->step : 1;
        BeginData(packet, static_cast<uint8_t>(ByteCountFor(packet.preset, 1)),
                  packet.count / presetStep, 0);
    }
    ParseResult next = Advance(packet);
    return range != ParseByteOk ? range : next;
}

ParseResult FieldComplete(ModbusPacket& packet, PacketField field, uint16_t value) {
    const Framing& framing = Framing::For(packet.protocol);
    switch (field) {
        case PacketField::tcpid:
        case PacketField::tcpprotocol:
        case PacketField::tcpsize:
            return framing.HeaderField(packet, field, value);
        case PacketField::start:
            return StartComplete(packet, value);
        case PacketField::count:
            return CountComplete(packet, value);
        case PacketField::crc: {
            // The CRC bytes are consumed like any others; a mismatch is kept
            // as the frame's fault, so its values are never applied.
            ParseResult result = framing.TrailerComplete(packet);
            ParseResult integrity = framing.CheckIntegrity(packet.bytes);
            if (integrity != ParseByteOk) NoteFault(packet, integrity);
            return result;
        }
        default:
            return ParseInternalError;
    }
}

ParseResult Step(ModbusPacket& packet, uint8_t b) {
    PacketField field = packet.state;
    switch (field) {
        case PacketField::end:
            return ParseExtraBytes;
        case PacketField::address:
            return AddressByte(packet, b);
        case PacketField::function:
            return FunctionByte(packet, b);
        case PacketField::exception:
            return ExceptionByte(packet, b);
        case PacketField::bytecount:
        case PacketField::itemcount:
            return CountByte(packet, b);
        case PacketField::data:
            return DataByte(packet, b);
        default:
            break;
    }
    if (!IsTwoByteField(packet, field)) return FieldComplete(packet, field, b);
    bool lowFirst = field == PacketField::crc;
    if (packet.byteIndex == 0) {
        packet.fieldValue = lowFirst ? b : static_cast<uint16_t>(b << 8);
        packet.byteIndex = 1;
        return ParseByteOk;
    }
    if (packet.byteIndex != 1) return ParseInternalError;
    packet.byteIndex = 0;
    uint16_t value = lowFirst ? static_cast<uint16_t>(b << 8 | packet.fieldValue)
                              : static_cast<uint16_t>(packet.fieldValue | b);
    return FieldComplete(packet, field, value);
}

// The trace line of one byte, put together in a buffer on the stack: built
// from std::wstring pieces it cost several heap allocations per received
// byte (and on Windows a debugger sink is always installed).
void TraceByte(PacketField state, uint8_t b) {
    wchar_t line[48];
    wchar_t* out = line;
    const wchar_t* const end = line + std::size(line) - 5;  // room for "255\n" and the end
    auto append = [&](const wchar_t* text) {
        while (*text && out < end) *out++ = *text++;
    };
    append(L"state: ");
    append(PacketFieldName(state));
    append(L" byte: ");
    if (b >= 100) *out++ = static_cast<wchar_t>(L'0' + b / 100);
    if (b >= 10) *out++ = static_cast<wchar_t>(L'0' + b / 10 % 10);
    *out++ = static_cast<wchar_t>(L'0' + b % 10);
    *out++ = L'\n';
    *out = L'\0';
    DebugTrace::Write(line);
}

}  // namespace

ParseResult ModbusPacket::ParseByte(uint8_t b) {
    if (bytes.size() < kMaxFrameBytes) bytes.push_back(b);
    if (fieldIndex >= 0 && functionRow &&
        static_cast<size_t>(fieldIndex) < functionRow->replyFields.size())
        state = functionRow->replyFields[static_cast<size_t>(fieldIndex)];
    if (DebugTrace::Enabled()) TraceByte(state, b);
    ParseResult result = Step(*this, b);
    if (IsFault(result)) NoteFault(*this, result);
    return result;
}

ParseResult ModbusPacket::CheckFrame() const {
    if (fault != ParseByteOk) return fault;
    if (state != PacketField::end) return ParseTruncated;
    ParseResult integrity = Framing::For(protocol).CheckIntegrity(bytes);
    if (integrity != ParseByteOk) return integrity;
    return isException ? ParseExceptionReply : ParseByteOk;
}
