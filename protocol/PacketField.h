#pragma once

#include <cstdint>

// The kinds of field a Modbus message is made of. They name the rows of a
// function's request and reply layouts, and they are the states of the byte
// parser, whose trace prints their names.
enum class PacketField : uint8_t {
    tcpid = 0,        // MBAP transaction identifier, 2 bytes high first
    tcpprotocol = 1,  // MBAP protocol identifier, 2 bytes high first
    tcpsize = 2,      // MBAP length, 2 bytes high first
    address = 3,      // slave address, 1 byte
    function = 4,     // function code, 1 byte
    start = 5,        // first data address: 2 bytes, 4 in requests of 65 to 68
    count = 6,        // quantity: 2 bytes, 1 byte for 65 to 68
    bytecount = 7,    // number of data bytes that follow, 1 byte
    itemcount = 8,    // item count of the replies of 65 and 67, 1 byte
    data = 9,         // packed bits or encoded values
    crc = 10,         // RTU CRC, 2 bytes low first
    end = 11,         // the message is complete
    exception = 12,   // exception code of an exception reply, 1 byte
};

// The field's name as the parser trace prints it ("tcpid", "bytecount", ...).
const wchar_t* PacketFieldName(PacketField field);
