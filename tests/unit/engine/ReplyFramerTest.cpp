// The framer cuts the bytes a TCP link delivers into frames and says whether
// a frame answers the outstanding request.
#include <gtest/gtest.h>

#include "MasterEvents.h"
#include "engine/ReplyFramer.h"

namespace {

using Kind = ReplyFramer::Kind;

// Transaction 0x0102, unit 1; protocol 0 MBAP, 1 RTU.
ReplyFramer::Expected Request(std::uint8_t protocol, std::uint8_t function, bool outstanding = true,
                              std::uint16_t transactionId = 0x0102) {
    ReplyFramer::Expected expected;
    expected.outstanding = outstanding;
    expected.protocol = protocol;
    expected.transactionId = transactionId;
    expected.address = 1;
    expected.function = function;
    expected.itemBytes = protocol == 0 ? 2 : 4;
    return expected;
}

TEST(ReplyFramer, CutsEachFrameAndTellsTheReplyFromStrayFrames) {
    // MBAP: transaction, protocol, length, unit, function, byte count, register 42.
    const char* mbap = "01 02  00 00  00 05  01  03  02  00 2A";
    struct Case {
        const char* name;
        ReplyFramer::Expected expected;
        const char* frame;  // a whole frame; as a reply, every shorter prefix needs more
        Kind kind;
        const char* after;  // what follows the frame in the same read
    };
    const Case cases[] = {
        {"MBAP reply", Request(0, 3), mbap, Kind::Reply, ""},
        {"MBAP reply with a second behind it", Request(0, 3), mbap, Kind::Reply, mbap},
        {"MBAP reply of another transaction, read whole", Request(0, 3, true, 0x0103), mbap,
         Kind::Stray, ""},
        {"MBAP reply with no request outstanding", Request(0, 3, false), mbap, Kind::Stray, ""},
        // A header that cannot be one: everything is dropped.
        {"MBAP protocol 1", Request(0, 3), "01 02 00 01 00 03 01 03 00", Kind::Stray, ""},
        {"MBAP length 0", Request(0, 3), "01 02 00 00 00 00 01", Kind::Stray, ""},
        {"MBAP length 256", Request(0, 3), "01 02 00 00 01 00 01 03", Kind::Stray, ""},
        // RTU frames are sized by their function; AA BB stands for the CRC.
        {"RTU read, byte count 2", Request(1, 3), "01 03 02 00 2A AA BB", Kind::Reply, "01"},
        {"RTU write 6 echo", Request(1, 6), "01 06 00 10 04 D2 AA BB", Kind::Reply, "01"},
        {"RTU 65, one float", Request(1, 65), "01 41 01 3F 80 00 00 AA BB", Kind::Reply, "01"},
        {"RTU 66 count", Request(1, 66), "01 42 02 AA BB", Kind::Reply, "01"},
        {"RTU exception", Request(1, 3), "01 83 02 AA BB", Kind::Reply, "01"},
        {"RTU reply of another function", Request(1, 3), "01 04 02 00 2A AA BB", Kind::Stray, ""},
        // No way to know where another slave's frame ends: all of it is stray.
        {"RTU frame of another slave", Request(1, 3), "02 03 02 00 2A AA BB 01 03", Kind::Stray,
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes frame = Hex(c.frame);
        for (std::size_t cut = 1; c.kind == Kind::Reply && cut < frame.size(); ++cut) {
            const Bytes part(frame.begin(), frame.begin() + static_cast<long>(cut));
            EXPECT_EQ(ReplyFramer::Next(part, c.expected).kind, Kind::NeedMore) << cut << " bytes";
        }
        Bytes read = frame;
        for (std::uint8_t byte : Hex(c.after)) read.push_back(byte);
        const auto next = ReplyFramer::Next(read, c.expected);
        EXPECT_EQ(next.kind, c.kind);
        EXPECT_EQ(next.length, frame.size());
    }
}

}  // namespace
