#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace slavesim {

// MBAP (Modbus TCP) or RTU (address, PDU, CRC) framing; either can travel on
// either link.
enum class Framing { Mbap, Rtu };

struct Request {
    uint16_t transactionId = 0;  // MBAP only
    uint8_t unit = 0;
    std::vector<uint8_t> pdu;  // function code and data
    std::vector<uint8_t> raw;  // the frame exactly as received
};

// Cuts requests out of a byte stream.
//
// MBAP frames end where their length field says. RTU frames end when the
// bytes so far form a whole request by the function's length rule and the CRC
// checks; a frame whose length cannot be known (an unknown function, a bad
// CRC at the expected length) ends at the line's silence, when the caller
// calls `EndAtSilence`.
class FrameReader {
  public:
    enum class Result { NeedMore, Frame, Garbage };

    explicit FrameReader(Framing framing) : framing_(framing) {}

    void Feed(const uint8_t* data, size_t length);
    // Takes the next complete request from the front of the buffer. Garbage
    // means the stream cannot be framed any more (an MBAP header with a
    // non-zero protocol id or an impossible length, or too many bytes without
    // a frame); the buffer is emptied.
    Result Next(Request* request);
    // RTU after an inter-frame silence: the whole buffer is one frame when its
    // CRC checks; otherwise it is discarded, as a slave discards a corrupt
    // frame. Returns true with a request, false when nothing was usable.
    bool EndAtSilence(Request* request);

    bool Empty() const { return buffer_.empty(); }
    size_t Discarded() const { return discarded_; }

  private:
    Result NextMbap(Request* request);
    Result NextRtu(Request* request);
    // Length of the RTU request starting the buffer, 0 when not yet known,
    // SIZE_MAX when the function has no length rule.
    size_t RtuRequestLength() const;
    void TakeFront(size_t length, Request* request);

    Framing framing_;
    std::vector<uint8_t> buffer_;
    size_t discarded_ = 0;
};

// Frames a reply PDU: MBAP header with the request's transaction id, or
// address and CRC.
std::vector<uint8_t> FrameReply(Framing framing, uint16_t transactionId, uint8_t unit,
                                const std::vector<uint8_t>& pdu);

}  // namespace slavesim
