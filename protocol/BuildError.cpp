#include "protocol/BuildError.h"

const wchar_t* BuildErrorText(BuildError error) {
    switch (error) {
        case BuildError::None:
            return L"ok";
        case BuildError::NotEmpty:
            return L"the request is already built";
        case BuildError::UnsupportedFunction:
            return L"unsupported function code";
        case BuildError::CountTooLarge:
            return L"more than 65535 registers in one request";
        case BuildError::ByteCountTooLarge:
            return L"more than 255 data bytes in one write";
        case BuildError::ItemCountTooLarge:
            return L"more than 255 items in one request";
        case BuildError::PresetNotSixteenBit:
            return L"a single register write needs a 16-bit format";
        case BuildError::PresetDoesNotSuit:
            return L"the format does not suit the function";
    }
    return L"unknown error";
}
