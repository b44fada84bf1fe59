#pragma once

#include <cstdint>

#include "protocol/FormatPreset.h"
#include "protocol/Poll.h"

namespace TestPolls {

inline Poll Make(std::uint8_t function, std::uint16_t start, std::uint16_t size,
                 std::int32_t preset) {
    Poll poll;
    MakePoll(function, start, size, preset, poll);
    return poll;
}

// Function 3, "SHORT UINT".
inline Poll ReadRegisters(std::uint16_t start, std::uint16_t size) {
    return Make(3, start, size, PresetId::ShortUint);
}

}  // namespace TestPolls
