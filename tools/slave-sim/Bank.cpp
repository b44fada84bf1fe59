#include "tools/slave-sim/Bank.h"

#include <cmath>
#include <cstdio>

namespace slavesim {

namespace {

constexpr size_t kAddresses = 65536;

const char* const kTableNames[kTableCount] = {"coil", "di", "hr", "ir", "float", "double"};

std::string FormatReal(double value, int digits) {
    if (std::isnan(value)) return "\"nan\"";
    if (std::isinf(value)) return value > 0 ? "\"inf\"" : "\"-inf\"";
    char text[64];
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    return text;
}

}  // namespace

const char* TableName(Table table) { return kTableNames[static_cast<int>(table)]; }

std::optional<Table> TableFromName(const std::string& name) {
    for (int i = 0; i < kTableCount; ++i) {
        if (name == kTableNames[i]) return static_cast<Table>(i);
    }
    return std::nullopt;
}

bool IsBitTable(Table table) { return table == Table::Coil || table == Table::DiscreteInput; }

bool IsRegisterTable(Table table) {
    return table == Table::HoldingRegister || table == Table::InputRegister;
}

Bank::Bank()
    : coils_(kAddresses),
      inputs_(kAddresses),
      holding_(kAddresses),
      inputRegisters_(kAddresses),
      floats_(kAddresses),
      doubles_(kAddresses) {}

bool Bank::Bit(Table table, uint16_t address) const {
    return (table == Table::Coil ? coils_ : inputs_)[address] != 0;
}

void Bank::SetBit(Table table, uint16_t address, bool on) {
    (table == Table::Coil ? coils_ : inputs_)[address] = on ? 1 : 0;
}

uint16_t Bank::Register(Table table, uint16_t address) const {
    return (table == Table::HoldingRegister ? holding_ : inputRegisters_)[address];
}

void Bank::SetRegister(Table table, uint16_t address, uint16_t value) {
    (table == Table::HoldingRegister ? holding_ : inputRegisters_)[address] = value;
}

std::string Bank::ValueText(Table table, uint16_t address) const {
    switch (table) {
        case Table::Coil:
        case Table::DiscreteInput:
            return Bit(table, address) ? "1" : "0";
        case Table::HoldingRegister:
        case Table::InputRegister:
            return std::to_string(Register(table, address));
        case Table::Float:
            return FormatReal(floats_[address], 9);
        case Table::Double:
            return FormatReal(doubles_[address], 17);
    }
    return "?";
}

bool Bank::IsZero(Table table, uint16_t address) const {
    switch (table) {
        case Table::Coil:
        case Table::DiscreteInput:
            return !Bit(table, address);
        case Table::HoldingRegister:
        case Table::InputRegister:
            return Register(table, address) == 0;
        case Table::Float:
            // -0.0 and NaN are kept in the dump: they are not what a fresh slave holds.
            return floats_[address] == 0.0f && !std::signbit(floats_[address]);
        case Table::Double:
            return doubles_[address] == 0.0 && !std::signbit(doubles_[address]);
    }
    return true;
}

std::string Bank::ToJson() const {
    std::string json = "{";
    for (int t = 0; t < kTableCount; ++t) {
        const Table table = static_cast<Table>(t);
        if (t > 0) json += ",";
        json += "\"";
        json += TableName(table);
        json += "\":{";
        bool first = true;
        for (size_t a = 0; a < kAddresses; ++a) {
            const uint16_t address = static_cast<uint16_t>(a);
            if (IsZero(table, address)) continue;
            if (!first) json += ",";
            first = false;
            // Appended piece by piece: g++ 12 at -O3 warns falsely (restrict) on
            // the chained concatenation.
            json += '"';
            json += std::to_string(a);
            json += "\":";
            json += ValueText(table, address);
        }
        json += "}";
    }
    json += "}\n";
    return json;
}

}  // namespace slavesim
