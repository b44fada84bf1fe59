#include <gtest/gtest.h>

#include <vector>

#include "engine/ReplyFramer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Kind = ReplyFramer::Kind;

ReplyFramer::Expected MbapRequest(std::uint16_t transactionId) {
    ReplyFramer::Expected expected;
    expected.outstanding = true;
    expected.protocol = 0;
    expected.transactionId = transactionId;
    expected.address = 1;
    expected.function = 3;
    expected.itemBytes = 2;
    return expected;
}

ReplyFramer::Expected RtuRequest(std::uint8_t function, std::uint16_t itemBytes = 2) {
    ReplyFramer::Expected expected;
    expected.outstanding = true;
    expected.protocol = 1;
    expected.address = 1;
    expected.function = function;
    expected.itemBytes = itemBytes;
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

TEST(ReplyFramer, WaitsUntilTheBodyAnnouncedByTheHeaderHasArrived) {
    for (std::size_t cut = 1; cut < mbapReply.size(); ++cut) {
        const Bytes part(mbapReply.begin(), mbapReply.begin() + static_cast<long>(cut));
        EXPECT_EQ(ReplyFramer::Next(part, MbapRequest(0x0102)).kind, Kind::NeedMore)
            << "with the first " << cut << " bytes";
    }
    const auto frame = ReplyFramer::Next(mbapReply, MbapRequest(0x0102));
    EXPECT_EQ(frame.kind, Kind::Reply);
    EXPECT_EQ(frame.length, mbapReply.size());
}

TEST(ReplyFramer, TakesOnlyTheFirstOfTwoFramesInOneRead) {
    Bytes two = mbapReply;
    two.insert(two.end(), mbapReply.begin(), mbapReply.end());
    const auto frame = ReplyFramer::Next(two, MbapRequest(0x0102));
    EXPECT_EQ(frame.kind, Kind::Reply);
    EXPECT_EQ(frame.length, mbapReply.size());
}

TEST(ReplyFramer, ShowsAWholeFrameOfAnotherTransactionAsStray) {
    const auto frame = ReplyFramer::Next(mbapReply, MbapRequest(0x0103));
    EXPECT_EQ(frame.kind, Kind::Stray);
    EXPECT_EQ(frame.length, mbapReply.size()) << "the stray frame is read whole";
}

TEST(ReplyFramer, TreatsEveryFrameAsStrayWhenNoRequestIsOutstanding) {
    auto expected = MbapRequest(0x0102);
    expected.outstanding = false;
    EXPECT_EQ(ReplyFramer::Next(mbapReply, expected).kind, Kind::Stray);
}

TEST(ReplyFramer, DropsEverythingAfterAHeaderThatCannotBeOne) {
    const Bytes badProtocol = {0x01, 0x02, 0x00, 0x01, 0x00, 0x03, 0x01, 0x03, 0x00};
    const Bytes zeroLength = {0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
    const Bytes tooLong = {0x01, 0x02, 0x00, 0x00, 0x01, 0x00, 0x01, 0x03};
    for (const Bytes& bytes : {badProtocol, zeroLength, tooLong}) {
        const auto frame = ReplyFramer::Next(bytes, MbapRequest(0x0102));
        EXPECT_EQ(frame.kind, Kind::Stray);
        EXPECT_EQ(frame.length, bytes.size());
    }
}

TEST(ReplyFramer, SizesRtuFramesByTheirFunction) {
    struct Case {
        std::uint8_t function;
        Bytes frame;
    };
    const Case cases[] = {
        {3, {0x01, 0x03, 0x02, 0x00, 0x2A, 0xAA, 0xBB}},               // read: byte count 2
        {1, {0x01, 0x01, 0x01, 0x05, 0xAA, 0xBB}},                     // coils: byte count 1
        {6, {0x01, 0x06, 0x00, 0x10, 0x04, 0xD2, 0xAA, 0xBB}},         // write echo
        {16, {0x01, 0x10, 0x00, 0x10, 0x00, 0x02, 0xAA, 0xBB}},        // write echo
        {65, {0x01, 0x41, 0x01, 0x3F, 0x80, 0x00, 0x00, 0xAA, 0xBB}},  // 1 float item
        {66, {0x01, 0x42, 0x02, 0xAA, 0xBB}},                          // count
        {3, {0x01, 0x83, 0x02, 0xAA, 0xBB}},                           // exception
    };
    for (const Case& c : cases) {
        const auto expected = RtuRequest(c.function, 4);
        for (std::size_t cut = 1; cut < c.frame.size(); ++cut) {
            const Bytes part(c.frame.begin(), c.frame.begin() + static_cast<long>(cut));
            EXPECT_EQ(ReplyFramer::Next(part, expected).kind, Kind::NeedMore)
                << "function " << int(c.function) << " cut at " << cut;
        }
        Bytes withMore = c.frame;
        withMore.push_back(0x01);
        const auto frame = ReplyFramer::Next(withMore, expected);
        EXPECT_EQ(frame.kind, Kind::Reply) << "function " << int(c.function);
        EXPECT_EQ(frame.length, c.frame.size()) << "function " << int(c.function);
    }
}

TEST(ReplyFramer, ShowsRtuFramesOfAnotherFunctionOrSlaveAsStray) {
    const Bytes otherFunction = {0x01, 0x04, 0x02, 0x00, 0x2A, 0xAA, 0xBB};
    auto frame = ReplyFramer::Next(otherFunction, RtuRequest(3));
    EXPECT_EQ(frame.kind, Kind::Stray);
    EXPECT_EQ(frame.length, otherFunction.size());

    const Bytes otherSlave = {0x02, 0x03, 0x02, 0x00, 0x2A, 0xAA, 0xBB, 0x01, 0x03};
    frame = ReplyFramer::Next(otherSlave, RtuRequest(3));
    EXPECT_EQ(frame.kind, Kind::Stray);
    EXPECT_EQ(frame.length, otherSlave.size()) << "no way to know where it ends";
}

}  // namespace
