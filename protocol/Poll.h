#pragma once

#include <cstdint>

#include "protocol/FunctionTable.h"

// One entry of the poll list: what to ask the slave for and how to read it.
struct Poll {
    const ModbusFunction* function = nullptr;  // none for a code not in the table
    uint16_t start = 0;                        // first data address
    uint16_t size = 0;                         // number of items, not addresses
    int32_t formatpreset = 0;                  // FormatPreset id

    // The function code, 0 when the poll has no function.
    uint8_t FunctionCode() const { return function ? function->code : 0; }

    // The last address the poll covers, start + (size - 1) x step, counted
    // without wrapping (it can exceed 65535); start for a size of 0.
    uint32_t LastAddress() const;
};

// Builds a poll. Functions without a count in their request (5 and 6) get
// size 1. False when the code is not in the function table; the poll then
// has no function and keeps the other values.
bool MakePoll(uint8_t functionCode, uint16_t start, uint16_t size, int32_t formatpreset,
              Poll& poll);
