#include "engine/ReplyFramer.h"

namespace {

constexpr std::size_t MbapHeaderSize = 6;
// The length field counts the unit identifier and the PDU; a Modbus PDU is
// at most 253 bytes (Modbus Application Protocol V1.1b3, 4.1), and replies
// of 256 bytes or more are never accepted.
constexpr std::uint16_t MbapMaxLength = 255;
constexpr std::size_t CrcSize = 2;
constexpr std::uint8_t ExceptionBit = 0x80;

std::uint16_t Word(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint16_t>((bytes[at] << 8) | bytes[at + 1]);
}

}  // namespace

ReplyFramer::Frame ReplyFramer::Next(const std::vector<std::uint8_t>& buffer,
                                     const Expected& expected) {
    if (buffer.empty()) return {Kind::NeedMore, 0};
    return expected.protocol == 0 ? NextMbap(buffer, expected) : NextRtu(buffer, expected);
}

ReplyFramer::Frame ReplyFramer::NextMbap(const std::vector<std::uint8_t>& buffer,
                                         const Expected& expected) {
    const Frame garbage{Kind::Stray, buffer.size()};
    // The protocol identifier is always 0; anything else is not a header.
    if (buffer.size() >= 3 && buffer[2] != 0) return garbage;
    if (buffer.size() >= 4 && buffer[3] != 0) return garbage;
    if (buffer.size() < MbapHeaderSize) return {Kind::NeedMore, 0};
    const std::uint16_t length = Word(buffer, 4);
    if (length == 0 || length > MbapMaxLength) return garbage;
    const std::size_t total = MbapHeaderSize + length;
    if (buffer.size() < total) return {Kind::NeedMore, 0};
    const bool answers = expected.outstanding && Word(buffer, 0) == expected.transactionId;
    return {answers ? Kind::Reply : Kind::Stray, total};
}

ReplyFramer::Frame ReplyFramer::NextRtu(const std::vector<std::uint8_t>& buffer,
                                        const Expected& expected) {
    // RTU frames carry no length of their own: the size follows from the
    // function code, so only frames from our slave with a known function can
    // be delimited. Anything else is shown as it came and dropped.
    const Frame garbage{Kind::Stray, buffer.size()};
    if (buffer[0] != expected.address) return garbage;
    if (buffer.size() < 2) return {Kind::NeedMore, 0};
    const std::uint8_t function = buffer[1];
    const bool ours =
        function == expected.function || function == (expected.function | ExceptionBit);
    std::size_t total = 0;
    if (function & ExceptionBit) {
        total = 3 + CrcSize;  // address, function, exception code
    } else {
        switch (function) {
            case 1:
            case 2:
            case 3:
            case 4:
                if (buffer.size() < 3) return {Kind::NeedMore, 0};
                total = 3 + buffer[2] + CrcSize;
                break;
            case 5:
            case 6:
            case 15:
            case 16:
                total = 6 + CrcSize;
                break;
            case 65:
            case 67:
                // The item size is known only for the request we sent.
                if (!ours || expected.itemBytes == 0) return garbage;
                if (buffer.size() < 3) return {Kind::NeedMore, 0};
                total = 3 + std::size_t{buffer[2]} * expected.itemBytes + CrcSize;
                break;
            case 66:
            case 68:
                total = 3 + CrcSize;
                break;
            default:
                return garbage;
        }
    }
    if (buffer.size() < total) return {Kind::NeedMore, 0};
    return {expected.outstanding && ours ? Kind::Reply : Kind::Stray, total};
}
