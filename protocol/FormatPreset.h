#pragma once

#include <cstdint>
#include <span>

#include "protocol/DataItem.h"

// How the values of a poll are laid out: one encoding, the data addresses one
// item occupies (step), and whether a request's count field carries items
// (countIsItems) or 16-bit registers.
struct FormatPreset {
    int32_t id;
    const wchar_t* name;
    uint8_t encoding;
    uint16_t step;
    bool countIsItems;
};

// Ids of the presets named where the code needs them.
namespace PresetId {
constexpr int32_t Bit = 0;
constexpr int32_t ShortUint = 1;
constexpr int32_t Float = 2;
constexpr int32_t RosemountFloat = 3;
constexpr int32_t Double = 4;
constexpr int32_t PhilipsFloat = 5;
constexpr int32_t PhilipsDouble = 6;
constexpr int32_t LongUint = 7;
constexpr int32_t Ascii8 = 8;
}  // namespace PresetId

// The nine rows in table order; read-only and constant-initialised.
std::span<const FormatPreset> FormatPresetTable();

// The row of a preset id, or nullptr.
const FormatPreset* FindPreset(int32_t id);

// The preset's step; 1 for an id not in the table.
uint16_t StepForPreset(int32_t id);

// The item type the preset's encoding produces; Unknown for an id not in the
// table.
DataItem::Type TypeForPreset(int32_t id);

// Data bytes of n items of the preset (see ByteCountForEncoding); a missing
// preset counts as an unknown encoding (2n).
uint16_t ByteCountFor(const FormatPreset* preset, uint16_t n);
uint16_t ByteCountFor(const FormatPreset& preset, uint16_t n);
