#include "protocol/FormatPreset.h"

#include "protocol/ValueEncoding.h"

namespace {

namespace E = ValueEncoding;

constexpr FormatPreset kPresets[] = {
    {0, L"BIT", E::Bit, 1, true},
    {1, L"SHORT UINT", E::UnsignedShortHighFirst, 1, false},
    {2, L"FLOAT", E::FloatABCD, 1, true},
    {3, L"ROSEMOUNT FLOAT", E::FloatCDAB, 2, false},
    {4, L"DOUBLE", E::DoubleHighFirst, 1, true},
    {5, L"PHILIPS FLOAT", E::FloatABCD, 2, false},
    {6, L"PHILIPS DOUBLE", E::DoubleHighFirst, 4, false},
    {7, L"LONG UINT", E::UnsignedIntABCD, 2, false},
    {8, L"ASCII 8", E::String8, 1, true},
};

}  // namespace

std::span<const FormatPreset> FormatPresetTable() { return kPresets; }

const FormatPreset* FindPreset(int32_t id) {
    for (const FormatPreset& row : kPresets) {
        if (row.id == id) return &row;
    }
    return nullptr;
}

uint16_t StepForPreset(int32_t id) {
    const FormatPreset* preset = FindPreset(id);
    return preset ? preset->step : 1;
}

DataItem::Type TypeForPreset(int32_t id) {
    const FormatPreset* preset = FindPreset(id);
    // Code 2 (one byte) is no preset's layout; a preset carrying it would
    // have no type the address map can show.
    if (!preset || preset->encoding == E::Byte) return DataItem::Unknown;
    return TypeForEncoding(preset->encoding);
}

uint16_t ByteCountFor(const FormatPreset* preset, uint16_t n) {
    return ByteCountForEncoding(preset ? preset->encoding : 0, n);
}

uint16_t ByteCountFor(const FormatPreset& preset, uint16_t n) {
    return ByteCountForEncoding(preset.encoding, n);
}
