#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Cuts the bytes received on a TCP link into frames and tells which one
// answers the outstanding request. TCP delivers a stream, not messages: a
// reply may arrive split over several reads, and one read may carry a late
// reply followed by the expected one.
class ReplyFramer {
  public:
    // The request a reply is awaited for.
    struct Expected {
        bool outstanding = false;   // false: every frame is stray
        std::uint8_t protocol = 0;  // 0 MBAP framing, otherwise RTU framing
        std::uint16_t transactionId = 0;
        std::uint8_t address = 0;
        std::uint8_t function = 0;
        // Bytes of one item of the request's preset; sizes the data of the
        // item-count replies of functions 65 and 67.
        std::uint16_t itemBytes = 0;
    };

    enum class Kind {
        NeedMore,  // the first frame is not complete yet
        Reply,     // the first length bytes answer the outstanding request
        Stray,     // the first length bytes are to be shown and discarded
    };

    struct Frame {
        Kind kind;
        std::size_t length;
    };

    // Looks at the front of buffer. A Stray frame whose end cannot be known
    // (no valid header) takes the whole buffer, so the stream starts afresh
    // with the next bytes that arrive.
    static Frame Next(const std::vector<std::uint8_t>& buffer, const Expected& expected);

  private:
    static Frame NextMbap(const std::vector<std::uint8_t>& buffer, const Expected& expected);
    static Frame NextRtu(const std::vector<std::uint8_t>& buffer, const Expected& expected);
};
