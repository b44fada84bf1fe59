#pragma once

#include <cstdint>
#include <string>

#include "protocol/DataItem.h"

// What the add-addresses dialog holds: first and last address and the step
// as typed, and the type of the new entries.
struct AddressRangeForm {
    std::wstring first;
    std::wstring last;
    std::wstring step;
    DataItem::Type type = DataItem::UnsignedShort;

    static constexpr int64_t kMaxStep = 8;

    // Prefilled with a range: the addresses a poll covers, say.
    static AddressRangeForm ForRange(uint16_t first, uint16_t last, uint16_t step,
                                     DataItem::Type type);

    // The six types offered ("BIT" to "STRING"); any other type becomes
    // "SHORT".
    static bool Offered(DataItem::Type type);

    // First and last are addresses, first not above last, step 1 to 8.
    bool OkEnabled() const;

    uint16_t First() const;
    uint16_t Last() const;
    uint16_t Step() const;
};
