#include "protocol/ModbusException.h"

const wchar_t* ModbusExceptionText(uint8_t code) {
    switch (code) {
        case 0x01:
            return L"Illegal function";
        case 0x02:
            return L"Illegal data address";
        case 0x03:
            return L"Illegal data value";
        case 0x04:
            return L"Server device failure";
        case 0x05:
            return L"Acknowledge";
        case 0x06:
            return L"Server device busy";
        case 0x08:
            return L"Memory parity error";
        case 0x0A:
            return L"Gateway path unavailable";
        case 0x0B:
            return L"Gateway target device failed to respond";
        default:
            return L"Unknown exception";
    }
}
