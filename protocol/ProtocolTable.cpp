#include "protocol/ProtocolTable.h"

const std::map<uint8_t, std::wstring>& ProtocolTable() {
    // Built on first use; C++ makes that initialisation safe across threads.
    static const std::map<uint8_t, std::wstring> table = {
        {Protocol::Tcp, L"Modbus TCP"},
        {Protocol::Rtu, L"Modbus RTU"},
    };
    return table;
}

std::wstring ProtocolName(uint8_t id) {
    auto row = ProtocolTable().find(id);
    return row != ProtocolTable().end() ? row->second : std::wstring();
}
