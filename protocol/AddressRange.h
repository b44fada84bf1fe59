#pragma once

#include <cstdint>

// The addresses one poll reads, as the byte parser checks replies against
// them: size addresses from start for one function code, read with a preset.
struct AddressRange {
    uint8_t function = 0;
    uint16_t start = 0;
    uint16_t size = 0;
    int32_t formatpreset = 0;  // -1 marks a range whose replies are refused

    // True when the range is for this function and start <= address <
    // start + size, counted without wrapping, so a range that ends at 65535
    // holds 65535.
    bool Holds(uint8_t functionCode, int64_t address) const {
        return function == functionCode && address >= start &&
               address < static_cast<int64_t>(start) + size;
    }
};
