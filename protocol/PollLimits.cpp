#include "protocol/PollLimits.h"

#include <algorithm>

#include "protocol/FormatPreset.h"
#include "protocol/FunctionTable.h"
#include "protocol/ModbusPacket.h"
#include "protocol/ValueEncoding.h"

namespace {

namespace FC = FunctionCode;

bool IsBitFunction(uint8_t function) {
    return function == FC::ReadCoils || function == FC::ReadInputs ||
           function == FC::WriteSingleCoil || function == FC::ForceMultipleCoils;
}

bool Takes(uint8_t function, const FormatPreset& preset) {
    const bool bit = preset.encoding == ValueEncoding::Bit;
    if (IsBitFunction(function)) return bit;
    if (function == FC::WriteSingleRegister) return ByteCountFor(preset, 1) == 2;
    return !bit;
}

// The largest PDU a Modbus frame carries (V1.1b3, 4.1): 256 bytes of RTU
// frame less the address and the CRC.
constexpr uint32_t kMaxPdu = 253;

}  // namespace

std::vector<int32_t> PresetsForFunction(uint8_t function) {
    std::vector<int32_t> presets;
    if (!FindFunction(function)) return presets;
    for (const FormatPreset& preset : FormatPresetTable()) {
        if (Takes(function, preset)) presets.push_back(preset.id);
    }
    return presets;
}

int32_t PresetAfterFunctionChange(uint8_t function, int32_t current) {
    if (IsBitFunction(function)) return PresetId::Bit;
    const std::vector<int32_t> taken = PresetsForFunction(function);
    const bool suits = std::find(taken.begin(), taken.end(), current) != taken.end();
    if (current != PresetId::Bit && suits) return current;
    switch (function) {
        case FC::DanielReadFloats:
        case FC::DanielWriteFloats:
            return PresetId::Float;
        case FC::DanielReadDoubles:
        case FC::DanielWriteDoubles:
            return PresetId::Double;
        default:
            return PresetId::ShortUint;
    }
}

uint32_t MaxPollQuantity(uint8_t function, int32_t presetId) {
    const FormatPreset* preset = FindPreset(presetId);
    if (!FindFunction(function) || !preset || !Takes(function, *preset)) return 0;
    const uint32_t itemBytes = ByteCountFor(*preset, 1);
    const uint32_t registers = std::max<uint32_t>(1, itemBytes / 2);
    switch (function) {
        case FC::ReadCoils:
        case FC::ReadInputs:
            return 2000;
        case FC::ReadInputRegisters:
        case FC::ReadOutputRegisters:
            return 125 / registers;
        case FC::WriteSingleCoil:
        case FC::WriteSingleRegister:
            return 1;
        case FC::ForceMultipleCoils:
            return 1968;
        case FC::ForceMultipleRegisters:
            return 123 / registers;
        case FC::DanielReadFloats:
        case FC::DanielReadDoubles:
            // Function, item count, then the items.
            return std::min<uint32_t>(255, (kMaxPdu - 2) / itemBytes);
        case FC::DanielWriteFloats:
        case FC::DanielWriteDoubles:
            // Function, four bytes of start, the count, then the items.
            return std::min<uint32_t>(255, (kMaxPdu - 6) / itemBytes);
        default:
            return 0;
    }
}

bool PollFits(uint8_t function, uint16_t start, uint32_t quantity, int32_t preset) {
    const ModbusFunction* row = FindFunction(function);
    if (!row) return false;
    const bool counted = row->RequestHas(PacketField::count);
    if (!counted) quantity = 1;
    if (quantity < 1 || quantity > MaxPollQuantity(function, preset)) return false;
    // The span is quantity x step addresses from start: a two-register item
    // at 65535 would ask for a register that does not exist.
    const uint32_t end = start + quantity * static_cast<uint32_t>(StepForPreset(preset)) - 1;
    if (end > 0xFFFF) return false;
    Poll poll;
    MakePoll(function, start, static_cast<uint16_t>(quantity), preset, poll);
    ModbusPacket request(0, 1);
    request.function = function;
    request.SetFromPoll(poll);
    return request.CheckRequest() == BuildError::None;
}
