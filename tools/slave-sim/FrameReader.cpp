#include "tools/slave-sim/FrameReader.h"

#include <algorithm>
#include <cstdint>

#include "tools/slave-sim/Crc16.h"

namespace slavesim {

namespace {

// Modbus over Serial Line V1.02, 2.5.1: an RTU frame is at most 256 bytes.
constexpr size_t kMaxRtuFrame = 256;
constexpr size_t kMbapHeader = 7;  // transaction id, protocol id, length, unit
// Modbus Messaging on TCP/IP V1.0b, 3.1.3: the length counts the unit id and
// the PDU, which is at most 253 bytes. A little more is still read whole, so
// a request that is slightly too long gets an exception reply rather than a
// closed connection; beyond that the stream is taken as lost.
constexpr size_t kMaxMbapLength = 512;
// Nobody sends this many bytes without forming a request; stop buffering.
constexpr size_t kMaxBuffered = 4096;

}  // namespace

void FrameReader::Feed(const uint8_t* data, size_t length) {
    buffer_.insert(buffer_.end(), data, data + length);
}

FrameReader::Result FrameReader::Next(Request* request) {
    if (buffer_.size() > kMaxBuffered) {
        discarded_ += buffer_.size();
        buffer_.clear();
        return Result::Garbage;
    }
    return framing_ == Framing::Mbap ? NextMbap(request) : NextRtu(request);
}

FrameReader::Result FrameReader::NextMbap(Request* request) {
    if (buffer_.size() < kMbapHeader) return Result::NeedMore;
    const uint16_t protocolId = static_cast<uint16_t>((buffer_[2] << 8) | buffer_[3]);
    const size_t length = static_cast<size_t>((buffer_[4] << 8) | buffer_[5]);
    // A length of 1 would be a unit id without a function code.
    if (protocolId != 0 || length < 2 || length > kMaxMbapLength) {
        discarded_ += buffer_.size();
        buffer_.clear();
        return Result::Garbage;
    }
    if (buffer_.size() < 6 + length) return Result::NeedMore;
    request->transactionId = static_cast<uint16_t>((buffer_[0] << 8) | buffer_[1]);
    request->unit = buffer_[6];
    request->pdu.assign(buffer_.begin() + kMbapHeader, buffer_.begin() + 6 + length);
    request->raw.assign(buffer_.begin(), buffer_.begin() + 6 + length);
    buffer_.erase(buffer_.begin(), buffer_.begin() + 6 + length);
    return Result::Frame;
}

size_t FrameReader::RtuRequestLength() const {
    if (buffer_.size() < 2) return 0;
    switch (buffer_[1]) {
        case 1:
        case 2:
        case 3:
        case 4:
        case 5:
        case 6:
            return 8;  // address, function, 2 x 2 bytes, CRC
        case 15:
        case 16:
            // address, function, start, count, byte count, data, CRC
            return buffer_.size() < 7 ? 0 : 9 + size_t{buffer_[6]};
        case 65:
        case 67:
            return 9;  // address, function, start (4), count (1), CRC
        case 66:
        case 68:
            // The count byte counts items; there is no byte count.
            return buffer_.size() < 7 ? 0 : 9 + size_t{buffer_[6]} * (buffer_[1] == 66 ? 4 : 8);
        default:
            return SIZE_MAX;
    }
}

FrameReader::Result FrameReader::NextRtu(Request* request) {
    const size_t length = RtuRequestLength();
    if (length == 0 || length == SIZE_MAX || buffer_.size() < length) return Result::NeedMore;
    // A CRC that fails at the expected length may still be a longer frame
    // (a request with more data than the standard allows); the silence decides.
    if (Crc16(buffer_.data(), length) != 0) return Result::NeedMore;
    TakeFront(length, request);
    return Result::Frame;
}

bool FrameReader::EndAtSilence(Request* request) {
    if (buffer_.empty()) return false;
    if (framing_ == Framing::Rtu && buffer_.size() >= 4 && buffer_.size() <= kMaxRtuFrame &&
        Crc16(buffer_.data(), buffer_.size()) == 0) {
        TakeFront(buffer_.size(), request);
        return true;
    }
    discarded_ += buffer_.size();
    buffer_.clear();
    return false;
}

void FrameReader::TakeFront(size_t length, Request* request) {
    request->transactionId = 0;
    request->unit = buffer_[0];
    request->pdu.assign(buffer_.begin() + 1, buffer_.begin() + length - 2);
    request->raw.assign(buffer_.begin(), buffer_.begin() + length);
    buffer_.erase(buffer_.begin(), buffer_.begin() + length);
}

std::vector<uint8_t> FrameReply(Framing framing, uint16_t transactionId, uint8_t unit,
                                const std::vector<uint8_t>& pdu) {
    // Each frame is sized once and filled in place: growing a vector from a
    // short header with insert() makes GCC 12 at -O2 warn about a copy
    // outside the header's bounds on a path that cannot run (-Warray-bounds).
    if (framing == Framing::Mbap) {
        const size_t length = pdu.size() + 1;
        std::vector<uint8_t> frame(kMbapHeader + pdu.size());
        frame[0] = static_cast<uint8_t>(transactionId >> 8);
        frame[1] = static_cast<uint8_t>(transactionId);
        frame[4] = static_cast<uint8_t>(length >> 8);
        frame[5] = static_cast<uint8_t>(length);
        frame[6] = unit;
        std::copy(pdu.begin(), pdu.end(), frame.begin() + kMbapHeader);
        return frame;
    }
    std::vector<uint8_t> frame(1 + pdu.size() + 2);
    frame[0] = unit;
    std::copy(pdu.begin(), pdu.end(), frame.begin() + 1);
    const uint16_t crc = Crc16(frame.data(), 1 + pdu.size());
    frame[1 + pdu.size()] = static_cast<uint8_t>(crc & 0xFF);
    frame[2 + pdu.size()] = static_cast<uint8_t>(crc >> 8);
    return frame;
}

}  // namespace slavesim
