#pragma once

#include <cstdint>

// Result codes of the reply decoders. Negative codes mean the reply cannot
// be decoded any further and is abandoned; 0 and 1 are progress; the positive
// codes from 2 report a fault of the message, which then stores no value.
enum ParseResult : int32_t {
    ParseUnexpectedFunction = -3,   // a supported code, but not the request's
    ParseUnsupportedFunction = -2,  // the code is not in the function table
    ParseInternalError = -1,        // no preset, or a state the parser cannot continue from
    ParseByteOk = 0,                // byte accepted, more expected
    ParseMessageDone = 1,           // message complete (a whole reply: accepted)
    ParseTcpProtocolNonZero = 2,    // MBAP protocol identifier is not 0
    ParseTcpLengthInvalid = 3,      // MBAP length 256 or more, or not the bytes received
    ParseNotOurAddress = 4,         // slave address not accepted
    ParseExtraBytes = 5,            // bytes after the message was complete
    ParseAddressOutOfRange = 6,     // start or last address outside every range
    ParseExceptionReply = 7,        // the slave answered with an exception
    ParseCountMismatch = 8,         // byte or item count is not what the poll asked for
    ParseTruncated = 9,             // the message ended inside a field
    ParseCrcMismatch = 10,          // the RTU CRC does not check out
};

// The text of a result code as the traces and the monitor show it; codes
// outside the list give "Unknown result".
const wchar_t* ParseResultText(int32_t result);
