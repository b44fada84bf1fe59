#include "protocol/PacketField.h"

const wchar_t* PacketFieldName(PacketField field) {
    switch (field) {
        case PacketField::tcpid:
            return L"tcpid";
        case PacketField::tcpprotocol:
            return L"tcpprotocol";
        case PacketField::tcpsize:
            return L"tcpsize";
        case PacketField::address:
            return L"address";
        case PacketField::function:
            return L"function";
        case PacketField::start:
            return L"start";
        case PacketField::count:
            return L"count";
        case PacketField::bytecount:
            return L"bytecount";
        case PacketField::itemcount:
            return L"itemcount";
        case PacketField::data:
            return L"data";
        case PacketField::crc:
            return L"crc";
        case PacketField::end:
            return L"end";
        case PacketField::exception:
            return L"exception";
    }
    return L"?";
}
