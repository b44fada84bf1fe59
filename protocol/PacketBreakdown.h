#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ModbusPacket;

// The labels and messages of a breakdown. The defaults are the English texts;
// the breakdown window fills them from its string table, and a text that
// could not be loaded stays empty.
struct BreakdownTexts {
    std::wstring messageId = L"Message ID";
    std::wstring protocolId = L"Protocol ID";
    std::wstring messageLength = L"Message Length";
    std::wstring address = L"Address";  // slave address and start address
    std::wstring function = L"Function";
    std::wstring regCount = L"Reg Count";
    std::wstring byteCount = L"Byte Count";
    std::wstring itemCount = L"Item Count";
    std::wstring value = L"Value";  // the value field of function 5
    std::wstring data = L"Data";
    std::wstring crc = L"CRC";
    std::wstring ourAddress = L"Our address";
    std::wstring expected = L"Expected";
    std::wstring bytes = L"Bytes";
    std::wstring got = L"Got";
    std::wstring unrecognisedFunction = L"Unrecognised function";
    std::wstring messageTruncated = L"Message truncated";
    std::wstring messageTooLong = L"Message too long";
    std::wstring error = L"Error";

    // The English texts, made once.
    static const BreakdownTexts& English();
};

// One row of the breakdown list: a field with its bytes ("%02X " each) and
// its decoded value, or an error (empty field, hex "Error", the message).
struct BreakdownRow {
    std::wstring field;
    std::wstring hex;
    std::wstring value;
    bool isError = false;
};

// The rows of one packet, field by field, in wire order.
//
// The packet is read by its own framing (its protocol field: 0 MBAP header,
// 1 RTU with CRC, any other id the bare address and PDU), so a packet keeps
// its rows when the connection's protocol changes later. Its bytes decide
// everything they carry; the packet's isRequest, preset, encoding and count
// (the poll's size) say how to read the data and what byte count a reply
// should have had. slaveAddress is the connection's, marked "Our address".
//
// The data items of a register reply or write request are read by the
// packet's encoding (floats and doubles "%f", unsigned integers decimal,
// 8-character text up to its first zero byte). An encoding that describes no
// register layout (none, when the packet has no preset) shows 16-bit rows
// high byte first; a last item cut short by the byte count shows its bytes
// with no value. Without a preset there is no expected byte count to compare.
//
// A field that needs more bytes than remain ends the rows with "Message
// truncated"; bytes after the last field give "Message too long"; a function
// code not in the function table (every exception reply) gives
// "Unrecognised function" right after the function row. Never reads outside
// the packet's bytes and leaves the packet as it is.
std::vector<BreakdownRow> BreakDownPacket(const ModbusPacket& packet, std::uint8_t slaveAddress,
                                          const BreakdownTexts& texts = BreakdownTexts::English());
