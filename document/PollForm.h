#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/Poll.h"

// What the poll dialog holds while the user edits a poll: the function
// chosen (none at first for a new poll), the texts of start address and
// quantity, and the format preset. The dialog shows it; the rules of which
// formats are offered and when the poll may be taken live here.
struct PollForm {
    std::optional<uint8_t> function;
    std::wstring start;
    std::wstring quantity;
    int32_t preset = 0;

    // An empty form (Add Poll), or one showing a poll (Edit Poll).
    static PollForm ForPoll(const Poll& poll);

    // The user chose a function: the formats offered change and the preset
    // follows them (see PresetAfterFunctionChange).
    void SelectFunction(uint8_t code);
    // The presets offered for the chosen function, in table order.
    std::vector<int32_t> Formats() const;
    // The bit functions take the bit preset alone, so the list is not offered.
    bool FormatEnabled() const;
    // Only functions whose request counts items take a quantity.
    bool QuantityEnabled() const;
    // The largest quantity the chosen function and preset allow (0 without
    // a function).
    uint32_t MaxQuantity() const;
    // A function is chosen and the poll it describes can be sent.
    bool OkEnabled() const;

    // The values of a form whose OK is enabled: function, start, quantity
    // (1 for functions without one) and preset.
    uint8_t Function() const { return function.value_or(0); }
    uint16_t Start() const;
    uint16_t Quantity() const;
};
