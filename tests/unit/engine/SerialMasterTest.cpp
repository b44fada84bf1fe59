// The Modbus RTU master against a scripted slave behind a fake port: the
// events it posts, in order and in time, for the replies and faults a serial
// line brings. Times are short real times; every wait is bounded.
#include <gtest/gtest.h>

#include <memory>

#include "FakeSerialPort.h"
#include "MasterEvents.h"
#include "TraceLog.h"
#include "engine/ModbusMasterSerial.h"

namespace {

using Chunks = std::vector<FakeSerialPort::Chunk>;

// Slave 1's (or another's) function 3 reply to an RTU request.
Bytes ReadReply(const Bytes& request, std::uint8_t address = 1) {
    return RtuFrame(address, ReadPdu(Word(request, 2), Word(request, 4)));
}

// An RTU master on a fake port, with short times and its event collector.
struct SerialRig : MasterEvents {
    SerialRig() {
        settings.protocol = 1;
        settings.pollrate = 10;
        settings.timeout = 400;
        settings.retries = 3;
    }
    ~SerialRig() { master.Stop(true); }
    CommsSettings settings;
    FakeSerialPort* port = new FakeSerialPort;
    ModbusMasterSerial master{notifier, settings, std::unique_ptr<SerialPort>(port)};
};

class SerialMaster : public ::testing::Test, protected SerialRig {};

// A reply ends at its last byte when the bytes are known to be the whole
// frame that answers the request; every other frame at the silence after it.
// The slave answers 10 ms after each request, all bytes at once; the traces
// tell how each frame ended. (The peer tests end every function's reply at
// its CRC against real slaves.)
TEST(SerialMasterFrameEnd, EndsAReplyAtOnceOnlyWhenItIsKnownWhole) {
    using P = int32_t;
    const Bytes registers = RtuFrame(1, ReadPdu(0, 2));
    Bytes badCrc = RtuFrame(1, {0x83, 0x02});
    badCrc.back() ^= 0x55;
    Bytes badRegisters = registers;
    badRegisters.back() ^= 0x55;
    const Bytes otherCount = RtuFrame(1, {0x03, 0x02, 0x03, 0xE8});  // 1 register of 2 asked
    // clang-format off
    const struct {
        const char* name;
        Poll poll;
        Bytes reply;
        const char* expected;  // events up to the reply
        bool atOnce;
    } cases[] = {
        {"registers", MakeTestPoll(3, 0, 2), registers, "sent 0, item 0, item 1, received 9", true},
        {"an exception reply", MakeTestPoll(3, 0, 2), RtuFrame(1, {0x83, 0x02}), "sent 0, received 5",
         true},
        {"the echo of 6", MakeTestPoll(6, 4, 1), RtuFrame(1, {0x06, 0x00, 0x04, 0x00, 0x07}),
         "sent 4, item 4, received 8", true},
        {"65: 2 floats", MakeTestPoll(65, 0, 2, P{PresetId::Float}),
         RtuFrame(1, {0x41, 0x02, 0x3F, 0x80, 0, 0, 0x40, 0, 0, 0}), "sent 0, item 0, item 1, received 13",
         true},
        {"66: the echo", MakeTestPoll(66, 0, 2, P{PresetId::Float}), RtuFrame(1, {0x42, 0x02}),
         "sent 0, received 5", true},
        {"an exception reply with a bad CRC", MakeTestPoll(3, 0, 2), badCrc, "sent 0, received 5", false},
        {"a bad CRC", MakeTestPoll(3, 0, 2), badRegisters, "sent 0, received 9", false},
        {"a reply cut short", MakeTestPoll(3, 0, 2), Bytes(registers.begin(), registers.begin() + 5),
         "sent 0, received 5", false},
        {"another count than asked", MakeTestPoll(3, 0, 2), otherCount, "sent 0, received 7", false},
        {"another slave's reply", MakeTestPoll(3, 0, 2), RtuFrame(2, ReadPdu(0, 2)),
         "sent 0, received 9", false},
        {"another function's reply", MakeTestPoll(3, 0, 2), RtuFrame(1, {0x04, 0x02, 0x00, 0x01}),
         "sent 0, received 7", false},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TraceLog trace;
        SerialRig rig;
        rig.settings.timeout = 1000;
        rig.settings.polls = {c.poll};
        rig.port->slave = [reply = c.reply](const Bytes&) { return Chunks{{10, reply}}; };
        rig.started = MasterEvents::Clock::now();
        ASSERT_TRUE(rig.master.Start());
        const std::string last = std::string(c.expected).substr(std::string(c.expected).rfind(", ") + 2);
        EXPECT_EQ(rig.Until(last), std::string("state 0, state 1, ") + c.expected);
        const long ms = rig.SinceStart(rig.times.size() - 1);
        rig.master.Stop(true);
        EXPECT_TRUE(rig.Until("run ended").ends_with("state 4, run ended"));
        EXPECT_EQ(rig.settings.connected.load(), 0);
        EXPECT_EQ(rig.settings.datamap.Size(), 0u) << "items are announced, not stored, unmapped";
        if (c.atOnce) {
            EXPECT_TRUE(trace.Has(L"Message parse done\n")) << "a whole frame ends with its last byte";
            EXPECT_FALSE(trace.Has(L"Message gap - parsing\n"));
        } else {
            EXPECT_GE(ms, 200) << "this frame ends only at the silence after it";
            EXPECT_TRUE(trace.Has(L"Message gap - parsing\n") || trace.Has(L" - Aborting\n"));
        }
    }
}

TEST_F(SerialMaster, EndsAnMbapFramedReplyAtMessageDoneWithoutWaitingForAGap) {
    settings.protocol = 0;
    port->slave = [](const Bytes& r) {
        // Transaction echoed; length 7: unit, function, byte count, 2 registers.
        return Chunks{{10, {r[0], r[1], 0, 0, 0, 7, 1, 3, 4, 0, 0x2A, 0, 0x2B}}};
    };
    settings.polls = {MakeTestPoll(3, 0, 2)};
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("received 13"), "state 0, state 1, sent 0, item 0, item 1, received 13");
    EXPECT_LT(Between(2, 5), 150) << "no 200 ms gap after message done";
}

TEST(SerialMasterScenario, FollowsEachScenarioEventForEvent) {
    // clang-format off
    const Scenario<FakeSerialPort::Slave> scenarios[] = {
        {"the first reply byte is awaited up to the timeout",
         [](const Bytes& r) { return Chunks{{300, ReadReply(r)}}; },
         {0}, 1000, 3, -1, "received 7", 1, "state 0, state 1, sent 0, item 0, received 7"},
        {"a reply still arriving at the tick (one byte every 60 ms) is finished",
         [](const Bytes& r) { Chunks c; for (auto b : ReadReply(r)) c.push_back({60, {b}}); return c; },
         {0}, 200, 3, -1, "received 7", 1, "state 0, state 1, sent 0, item 0, received 7"},
        {"a frame the parser abandons (function 9) is read to its end, shown and counted",
         [](const Bytes&) { return Chunks{{10, RtuFrame(1, {0x09, 0x02, 0x00, 0x01})}}; },
         {0}, 400, 1, -1, "give up", 1, "state 0, state 1, sent 0, received 7, give up"},
        {"another slave's frame is shown and the master awaits its own",
         [](const Bytes& r) { return Chunks{{10, ReadReply(r, 2)}, {250, ReadReply(r)}}; },
         {0}, 1000, 3, -1, "received 7", 2, "state 0, state 1, sent 0, received 7, item 0, received 7"},
        {"a single poll ends the run after its reply",
         [](const Bytes& r) { return Chunks{{10, ReadReply(r)}}; },
         {0, 9}, 400, 3, 1, "run ended", 1, "state 0, state 1, sent 9, item 9, received 7, state 4, run ended"},
        {"polls without answer are counted against retries, a timeout apart", nullptr,
         {0, 50}, 250, 3, -1, "sent 50", 1,
         "state 0, state 1, sent 0, retry, sent 0, retry, sent 0, give up, sent 50", 650, 1350},
        {"a line that never falls silent is cut once the timeout has passed (4096 kept)",
         [](const Bytes&) { return Chunks{{5, Bytes(ModbusPacket::kMaxFrameBytes + 500, 1)}}; },
         {0, 9}, 100, 1, -1, "sent 9", 1, "state 0, state 1, sent 0, received 4096, give up, sent 9"},
        {"a single poll without answer gives up after one timeout",
         nullptr, {0}, 150, 3, 0, "run ended", 1, "state 0, state 1, sent 0, retry, give up, state 4, run ended"},
    };
    // clang-format on
    for (const auto& s : scenarios) {
        SCOPED_TRACE(s.name);
        SerialRig rig;
        rig.port->slave = s.slave;
        MapRegisters(rig.settings.datamap, 0, 1);
        MasterEvents::RunScenario(rig, s);
        const bool stored = std::string(s.expected).find("item 0") != std::string::npos;
        EXPECT_EQ(rig.settings.datamap.Find(0)->AsUnsignedShort(), stored ? 1000 : 0);
    }
}

TEST_F(SerialMaster, DiscardsBytesWaitingInThePortBeforeEachRequest) {
    settings.pollrate = 400;
    auto replies = std::make_shared<int>(0);
    port->slave = [replies](const Bytes& request) {
        Chunks chunks{{10, ReadReply(request)}};
        // Line noise after the first reply, well before the next request.
        if ((*replies)++ == 0) chunks.push_back({300, {0x55, 0x55, 0x55}});
        return chunks;
    };
    settings.polls = {MakeTestPoll(3, 0, 1)};
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("received 7", 2),
              "state 0, state 1, sent 0, item 0, received 7, sent 0, item 0, received 7")
        << "every decoded item is announced, changed or not";
    EXPECT_EQ(port->discarded, 3u);
}

TEST_F(SerialMaster, DecodesAReplyWithThePresetOfThePollThatWasSent) {
    // Both polls read the same registers; the float poll comes first in the list.
    settings.polls = {MakeTestPoll(3, 0, 2, PresetId::Float), MakeTestPoll(3, 0, 2)};
    settings.pollIndex = 1;
    settings.singlePollIndex = 1;
    port->slave = [](const Bytes& request) { return Chunks{{10, ReadReply(request)}}; };
    MapRegisters(settings.datamap, 0, 2);
    ASSERT_TRUE(master.Start());
    Until("run ended");
    EXPECT_EQ(settings.datamap.Find(1)->type, DataItem::UnsignedShort);
    EXPECT_EQ(settings.datamap.Find(1)->AsUnsignedShort(), 1001);
}

TEST_F(SerialMaster, ReportsAWriteTheLineRefusesAndCountsIt) {
    port->writesFail = true;
    settings.timeout = 100;
    settings.retries = 2;
    settings.polls = {MakeTestPoll(3, 0, 1)};
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("give up"), "state 0, state 1, state 3, retry, state 3, give up");
}

}  // namespace
