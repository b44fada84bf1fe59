#include "protocol/ParseResult.h"

const wchar_t* ParseResultText(int32_t result) {
    switch (result) {
        case ParseUnexpectedFunction:
            return L"Unexpected function";
        case ParseUnsupportedFunction:
            return L"Unsupported function";
        case ParseInternalError:
            return L"Internal error";
        case ParseByteOk:
            return L"byte ok";
        case ParseMessageDone:
            return L"message done";
        case ParseTcpProtocolNonZero:
            return L"tcp protocol was non zero";
        case ParseTcpLengthInvalid:
            return L"tcp length was invalid";
        case ParseNotOurAddress:
            return L"Not our modbus address";
        case ParseExtraBytes:
            return L"unexpected extra message bytes";
        case ParseAddressOutOfRange:
            return L"data address out of range";
        case ParseExceptionReply:
            return L"Exception reply";
        case ParseCountMismatch:
            return L"byte count differs from the poll";
        case ParseTruncated:
            return L"message truncated";
        case ParseCrcMismatch:
            return L"CRC mismatch";
        default:
            return L"Unknown result";
    }
}
