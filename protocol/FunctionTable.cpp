#include "protocol/FunctionTable.h"

#include <algorithm>

namespace {

using F = PacketField;

constexpr PacketField kStartCount[] = {F::start, F::count};
constexpr PacketField kStartData[] = {F::start, F::data};
constexpr PacketField kStartCountBytesData[] = {F::start, F::count, F::bytecount, F::data};
constexpr PacketField kStartCountData[] = {F::start, F::count, F::data};
constexpr PacketField kBytesData[] = {F::bytecount, F::data};
constexpr PacketField kItemsData[] = {F::itemcount, F::data};
constexpr PacketField kCount[] = {F::count};

constexpr ModbusFunction kFunctions[] = {
    {1, L"01: Read Coils", kStartCount, kBytesData},
    {2, L"02: Read Inputs", kStartCount, kBytesData},
    {3, L"03: Read Input Registers", kStartCount, kBytesData},
    {4, L"04: Read Output Registers", kStartCount, kBytesData},
    {5, L"05: Write Single Coil", kStartData, kStartData},
    {6, L"06: Write Single Register", kStartData, kStartData},
    {15, L"15: Force Multiple Coils", kStartCountBytesData, kStartCount},
    {16, L"16: Force Multiple Registers", kStartCountBytesData, kStartCount},
    {65, L"65: Daniel Read Floats", kStartCount, kItemsData},
    {66, L"66: Daniel Write Floats", kStartCountData, kCount},
    {67, L"67: Daniel Read Doubles", kStartCount, kItemsData},
    {68, L"68: Daniel Write Doubles", kStartCountData, kCount},
};

}  // namespace

bool ModbusFunction::RequestHas(PacketField field) const {
    return std::find(requestFields.begin(), requestFields.end(), field) != requestFields.end();
}

bool FunctionCode::IsDaniel(uint8_t code) { return code >= 65 && code <= 68; }

std::span<const ModbusFunction> FunctionTable() { return kFunctions; }

const ModbusFunction* FindFunction(uint8_t code) {
    for (const ModbusFunction& row : kFunctions) {
        if (row.code == code) return &row;
    }
    return nullptr;
}
