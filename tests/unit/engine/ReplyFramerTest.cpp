// The framer cuts the bytes a TCP link delivers into frames and says whether
// a frame answers the outstanding request.
#include <gtest/gtest.h>

#include <vector>

#include "engine/ReplyFramer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Kind = ReplyFramer::Kind;

ReplyFramer::Expected Request(std::uint8_t protocol, std::uint8_t function,
                              std::uint16_t transactionId = 0x0102) {
    ReplyFramer::Expected expected;
    expected.outstanding = true;
    expected.protocol = protocol;
    expected.transactionId = transactionId;
    expected.address = 1;
    expected.function = function;
    expected.itemBytes = protocol == 0 ? 2 : 4;
    return expected;
}

// Function 3 reply with one register, transaction 0x0102.
const Bytes mbapReply = {
    0x01, 0x02,  // transaction
    0x00, 0x00,  // protocol
    0x00, 0x05,  // length: unit, function, byte count, 2 data bytes
    0x01,        // unit
    0x03,        // function
    0x02,        // byte count
    0x00, 0x2A,  // register 42
};

struct Case {
    const char* name;
    ReplyFramer::Expected expected;
    Bytes frame;  // a whole frame; every shorter prefix needs more (Reply only)
    Kind kind;
    Bytes after;  // what follows the frame in the same read
};

TEST(ReplyFramer, CutsEachFrameAndTellsTheReplyFromStrayFrames) {
    ReplyFramer::Expected idle = Request(0, 3);
    idle.outstanding = false;
    const Case cases[] = {
        {"MBAP reply", Request(0, 3), mbapReply, Kind::Reply, {}},
        {"MBAP reply, a second behind it", Request(0, 3), mbapReply, Kind::Reply, mbapReply},
        {"MBAP reply of another transaction, read whole",
         Request(0, 3, 0x0103),
         mbapReply,
         Kind::Stray,
         {}},
        {"MBAP reply with no request outstanding", idle, mbapReply, Kind::Stray, {}},
        // A header that cannot be one: everything is dropped.
        {"protocol 1",
         Request(0, 3),
         {0x01, 0x02, 0x00, 0x01, 0x00, 0x03, 0x01, 0x03, 0x00},
         Kind::Stray,
         {}},
        {"length 0", Request(0, 3), {0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x01}, Kind::Stray, {}},
        {"length 256",
         Request(0, 3),
         {0x01, 0x02, 0x00, 0x00, 0x01, 0x00, 0x01, 0x03},
         Kind::Stray,
         {}},
        // RTU frames are sized by their function; AA BB stands for the CRC.
        {"RTU read, byte count 2",
         Request(1, 3),
         {0x01, 0x03, 0x02, 0x00, 0x2A, 0xAA, 0xBB},
         Kind::Reply,
         {0x01}},
        {"RTU coils, byte count 1",
         Request(1, 1),
         {0x01, 0x01, 0x01, 0x05, 0xAA, 0xBB},
         Kind::Reply,
         {0x01}},
        {"RTU write 6 echo",
         Request(1, 6),
         {0x01, 0x06, 0x00, 0x10, 0x04, 0xD2, 0xAA, 0xBB},
         Kind::Reply,
         {0x01}},
        {"RTU write 16 echo",
         Request(1, 16),
         {0x01, 0x10, 0x00, 0x10, 0x00, 0x02, 0xAA, 0xBB},
         Kind::Reply,
         {0x01}},
        {"RTU 65, one float item",
         Request(1, 65),
         {0x01, 0x41, 0x01, 0x3F, 0x80, 0x00, 0x00, 0xAA, 0xBB},
         Kind::Reply,
         {0x01}},
        {"RTU 66 write reply", Request(1, 66), {0x01, 0x42, 0x02, 0xAA, 0xBB}, Kind::Reply, {0x01}},
        {"RTU exception", Request(1, 3), {0x01, 0x83, 0x02, 0xAA, 0xBB}, Kind::Reply, {0x01}},
        {"RTU reply of another function",
         Request(1, 3),
         {0x01, 0x04, 0x02, 0x00, 0x2A, 0xAA, 0xBB},
         Kind::Stray,
         {}},
        // No way to know where another slave's frame ends: all of it is stray.
        {"RTU frame of another slave",
         Request(1, 3),
         {0x02, 0x03, 0x02, 0x00, 0x2A, 0xAA, 0xBB, 0x01, 0x03},
         Kind::Stray,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.kind == Kind::Reply) {
            for (std::size_t cut = 1; cut < c.frame.size(); ++cut) {
                const Bytes part(c.frame.begin(), c.frame.begin() + static_cast<long>(cut));
                EXPECT_EQ(ReplyFramer::Next(part, c.expected).kind, Kind::NeedMore) << cut;
            }
        }
        Bytes read = c.frame;
        read.insert(read.end(), c.after.begin(), c.after.end());
        const auto frame = ReplyFramer::Next(read, c.expected);
        EXPECT_EQ(frame.kind, c.kind);
        EXPECT_EQ(frame.length, c.frame.size());
    }
}

}  // namespace
