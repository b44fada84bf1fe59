#pragma once

#include <cstdint>

// The meaning of an exception code in an exception reply (Modbus Application
// Protocol V1.1b3, 7); "Unknown exception" for codes it does not define.
const wchar_t* ModbusExceptionText(uint8_t code);
