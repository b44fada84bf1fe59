#pragma once

#include <cstdint>
#include <vector>

// What one poll may be: the presets each function takes and how many items
// fit in one request and its reply. The poll dialog offers and accepts
// exactly this; the request builder refuses by the same rules.

// The presets a function takes, in table order: the bit functions (1, 2, 5,
// 15) the bit presets, function 6 the presets of one 16-bit register, every
// other function the presets that are not bits. Empty for an unknown code.
std::vector<int32_t> PresetsForFunction(uint8_t function);

// The preset selected after the user chose a function: the bit preset for
// the bit functions; otherwise the current one while it suits the function
// and is not the bit preset, else "FLOAT" for 65 and 66, "DOUBLE" for 67 and
// 68 and "SHORT UINT" for the rest.
int32_t PresetAfterFunctionChange(uint8_t function, int32_t current);

// The most items one poll of the function and preset can carry so that its
// request and its reply fit a Modbus frame (Modbus Application Protocol
// V1.1b3, 6.1 to 6.12: 2000 coils or inputs to read, 125 registers to read,
// 1968 coils and 123 registers to write, one frame of 253 PDU bytes for the
// float and double functions 65 to 68, whose count is one byte). 1 for
// functions 5 and 6; 0 for an unknown function or a preset it does not take.
uint32_t MaxPollQuantity(uint8_t function, int32_t preset);

// Whether a poll can be sent as it stands: a known function with a preset
// it takes, 1 to MaxPollQuantity items (functions 5 and 6: one) whose
// addresses all lie below 65536, and a request the builder accepts.
bool PollFits(uint8_t function, uint16_t start, uint32_t quantity, int32_t preset);
