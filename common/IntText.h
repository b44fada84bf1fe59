#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Reads a whole number typed by the user: one optional sign ("+" or "-")
// and one or more digits (hexadecimal ones when hex, without any prefix),
// nothing before or after. Nothing when the text is not such a number or
// the number lies outside minimum..maximum.
std::optional<int64_t> ParseIntText(const std::wstring& text, int64_t minimum, int64_t maximum,
                                    bool hex = false);
