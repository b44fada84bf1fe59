#include "protocol/ModbusPacket.h"

#include "protocol/Framing.h"

ModbusPacket::ModbusPacket(uint8_t protocol, uint8_t isRequest)
    : isRequest(isRequest), protocol(protocol) {}

void ModbusPacket::SetFromPoll(const Poll& poll) {
    start = poll.start;
    if (poll.function && poll.function->RequestHas(PacketField::count)) {
        count = poll.size;
        step = StepForPreset(poll.formatpreset);
    } else {
        count = 1;
        step = 1;
    }
    itemType = TypeForPreset(poll.formatpreset);
    preset = FindPreset(poll.formatpreset);
    encoding = preset ? preset->encoding : 0;
}

std::vector<uint16_t> ModbusPacket::WriteAddresses() const {
    std::vector<uint16_t> addresses;
    switch (function) {
        case FunctionCode::WriteSingleCoil:
        case FunctionCode::WriteSingleRegister:
            addresses.push_back(start);
            break;
        case FunctionCode::ForceMultipleCoils:
        case FunctionCode::ForceMultipleRegisters:
        case FunctionCode::DanielWriteFloats:
        case FunctionCode::DanielWriteDoubles: {
            uint16_t stride = function == FunctionCode::ForceMultipleCoils || step == 0 ? 1 : step;
            for (uint32_t i = 0; i < count; ++i)
                addresses.push_back(static_cast<uint16_t>(start + i * stride));
            break;
        }
        default:
            break;
    }
    return addresses;
}

ParseResult ModbusPacket::CheckRange() {
    int32_t presetId = PresetId::ShortUint;
    if (!ranges.empty()) {
        // Counted without wrapping: a poll reaching past 65535 is in no range.
        int64_t last = static_cast<int64_t>(start) + count - 1;
        const AddressRange* match = nullptr;
        for (const AddressRange& range : ranges) {
            if (range.Holds(function, last)) {
                match = &range;
                break;
            }
        }
        if (!match || match->formatpreset == -1) return ParseAddressOutOfRange;
        presetId = match->formatpreset;
    }
    preset = FindPreset(presetId);
    return preset ? ParseByteOk : ParseInternalError;
}

void ModbusPacket::ResetParser() {
    bytes.clear();
    items.Clear();
    readPos = 0;
    fieldIndex = -1;
    state = Framing::For(protocol).FirstState();
    functionRow = nullptr;
    byteIndex = 0;
    fieldValue = 0;
    itemsExpected = itemsDone = 0;
    itemSize = itemFill = 0;
    dataRemaining = 0;
    fault = ParseByteOk;
    isException = false;
    exceptionCode = 0;
}

ParseResult ModbusPacket::PrepareReply(const Poll& poll, std::vector<AddressRange> pollRanges) {
    ResetParser();
    function = poll.FunctionCode();
    SetFromPoll(poll);
    count = poll.size;
    ranges = std::move(pollRanges);
    ParseResult result = CheckRange();
    if (result == ParseByteOk) {
        ranges.clear();
        acceptedAddresses.clear();
    } else {
        // No preset was chosen: the byte parser stops at the count byte.
        preset = nullptr;
    }
    return result;
}
