#pragma once

#include <cstdint>
#include <span>

#include "protocol/PacketField.h"

// One supported Modbus function: its code, its label and the fields that
// follow the address and function code in its request and in its normal reply.
struct ModbusFunction {
    uint8_t code;
    const wchar_t* name;
    std::span<const PacketField> requestFields;
    std::span<const PacketField> replyFields;

    bool RequestHas(PacketField field) const;
};

// Function codes named where the code needs them.
namespace FunctionCode {
constexpr uint8_t ReadCoils = 1;
constexpr uint8_t ReadInputs = 2;
constexpr uint8_t ReadInputRegisters = 3;
constexpr uint8_t ReadOutputRegisters = 4;
constexpr uint8_t WriteSingleCoil = 5;
constexpr uint8_t WriteSingleRegister = 6;
constexpr uint8_t ForceMultipleCoils = 15;
constexpr uint8_t ForceMultipleRegisters = 16;
constexpr uint8_t DanielReadFloats = 65;
constexpr uint8_t DanielWriteFloats = 66;
constexpr uint8_t DanielReadDoubles = 67;
constexpr uint8_t DanielWriteDoubles = 68;
// Set in the function code of an exception reply.
constexpr uint8_t ExceptionFlag = 0x80;

// The Daniel extensions (65 to 68): 4-byte start, 1-byte count, no byte count
// in their write requests.
bool IsDaniel(uint8_t code);
}  // namespace FunctionCode

// The twelve rows, in the order the poll dialog lists them. Read-only and
// constant-initialised, so any thread may read them at any time.
std::span<const ModbusFunction> FunctionTable();

// The row of a function code, or nullptr when the code is not supported.
const ModbusFunction* FindFunction(uint8_t code);
