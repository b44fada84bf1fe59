// The Modbus RTU master against a scripted slave behind a fake port: the
// events it posts, in order and in time, for the replies and faults a serial
// line brings. Times are short real times; every wait is bounded.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "FakeSerialPort.h"
#include "TestPolls.h"
#include "engine/ModbusMasterSerial.h"
#include "engine/NotificationQueue.h"
#include "engine/Notifier.h"
#include "protocol/Crc16.h"
#include "protocol/DebugTrace.h"
#include "protocol/ModbusPacket.h"

namespace {

using Bytes = FakeSerialPort::Bytes;
using Chunk = FakeSerialPort::Chunk;
using Steps = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

Bytes WithCrc(Bytes frame) {
    const std::uint16_t crc = Crc16(0xFFFF, frame);
    frame.push_back(static_cast<std::uint8_t>(crc));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

std::uint16_t Word(const Bytes& bytes, std::size_t at) {
    return static_cast<std::uint16_t>((bytes[at] << 8) | bytes[at + 1]);
}

// Function 3 reply of slave 1 for an RTU request: register a holds 1000 + a.
Bytes RegistersReply(const Bytes& request, std::uint8_t address = 1) {
    const std::uint16_t start = Word(request, 2);
    const std::uint16_t count = Word(request, 4);
    Bytes frame{address, 0x03, static_cast<std::uint8_t>(count * 2)};
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint16_t value = static_cast<std::uint16_t>(1000 + start + i);
        frame.push_back(static_cast<std::uint8_t>(value >> 8));
        frame.push_back(static_cast<std::uint8_t>(value));
    }
    return WithCrc(frame);
}

std::vector<Chunk> At(std::uint32_t afterMs, Bytes bytes) { return {{afterMs, std::move(bytes)}}; }

// The trace lines, collected from any thread.
std::mutex traceLock;
std::vector<std::wstring> traceLines;
void CollectTrace(const wchar_t* line) {
    std::lock_guard guard(traceLock);
    traceLines.push_back(line);
}

class SerialMaster : public ::testing::Test {
  protected:
    SerialMaster() {
        for (std::uint32_t event = EventConnectionState; event <= EventRunEnded; ++event) {
            notifier.Register(&queue, event);
        }
        settings.protocol = 1;
        settings.pollrate = 10;
        settings.timeout = 400;
        settings.retries = 3;
        {
            std::lock_guard guard(traceLock);
            traceLines.clear();
        }
        previousSink = DebugTrace::SetSink(&CollectTrace);
    }
    ~SerialMaster() override {
        master.Stop(true);
        DebugTrace::SetSink(previousSink);
    }

    void MapRegisters(std::uint16_t start, std::uint16_t count) {
        for (std::uint16_t i = 0; i < count; ++i) {
            settings.datamap.Insert(start + i, DataItem(DataItem::UnsignedShort));
        }
    }

    static std::string Describe(const Notification& n) {
        switch (n.event) {
            case EventConnectionState:
                return "state " + std::to_string(n.wParam);
            case EventItemChanged:
                return "item " + std::to_string(n.wParam);
            case EventPacketSent:
                return "sent " + std::to_string(n.packet->start);
            case EventPacketReceived:
                return "received " + std::to_string(n.packet->bytes.size());
            case EventTimeoutRetry:
                return "retry";
            case EventTimeoutGiveUp:
                return "give up";
            case EventRunEnded:
                return "run ended";
            default:
                return "event " + std::to_string(n.event);
        }
    }

    // The events up to and including the first one described as last, with
    // the time each arrived.
    Steps Until(const std::string& last, int timeoutMs = 4000) {
        Steps steps;
        const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < until) {
            std::optional<Notification> next = queue.Pop(10);
            if (!next) continue;
            steps.push_back(Describe(*next));
            times.push_back(Clock::now());
            if (next->packet) packets.push_back(next->packet->bytes);
            if (steps.back() == last) return steps;
        }
        ADD_FAILURE() << "no \"" << last << "\" within " << timeoutMs << " ms";
        return steps;
    }

    Steps UntilNth(const std::string& last, int count, int timeoutMs = 4000) {
        Steps steps;
        for (int i = 0; i < count; ++i) {
            Steps more = Until(last, timeoutMs);
            steps.insert(steps.end(), more.begin(), more.end());
        }
        return steps;
    }

    Steps StopAndDrain() {
        master.Stop(true);
        return Until("run ended");
    }

    // Milliseconds between the events at positions a and b of all events seen.
    long Between(std::size_t a, std::size_t b) const {
        return static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(times.at(b) - times.at(a))
                .count());
    }

    bool Traced(const std::wstring& text) {
        std::lock_guard guard(traceLock);
        for (const std::wstring& line : traceLines)
            if (line == text) return true;
        return false;
    }

    Notifier notifier;
    NotificationQueue queue;
    CommsSettings settings;
    FakeSerialPort* port = new FakeSerialPort;
    ModbusMasterSerial master{notifier, settings, std::unique_ptr<SerialPort>(port)};
    std::vector<Clock::time_point> times;
    std::vector<Bytes> packets;
    DebugTrace::Sink previousSink = nullptr;
};

TEST_F(SerialMaster, EndsAnRtuReplyAtTheGapAndAnnouncesEveryItemBeforeThePacket) {
    port->slave = [](const Bytes& request) { return At(20, RegistersReply(request)); };
    settings.polls = {TestPolls::ReadRegisters(100, 2)};
    MapRegisters(100, 1);  // 101 is decoded but not mapped
    master.line.comport = 7;
    ASSERT_TRUE(master.Start());
    const Steps steps = Until("received 9");
    EXPECT_EQ(steps,
              (Steps{"state 0", "state 1", "sent 100", "item 100", "item 101", "received 9"}));
    // The reply came 20 ms after the request; the frame ended 200 ms after it.
    EXPECT_GE(Between(2, 5), 200) << "the frame ends only after the gap";
    EXPECT_EQ(settings.datamap.Find(100)->AsUnsignedShort(), 1100);
    EXPECT_FALSE(settings.datamap.Contains(101));
    EXPECT_EQ(port->Opened().comport, 7u);
    EXPECT_TRUE(Traced(L"Message gap - parsing\n"));
    EXPECT_TRUE(Traced(L"byte parse. next\n"));
    EXPECT_TRUE(Traced(L"TX Complete\n"));
    const Steps end = StopAndDrain();
    EXPECT_EQ(Steps(end.end() - 2, end.end()), (Steps{"state 4", "run ended"}));
    EXPECT_TRUE(Traced(L"Close\n"));
    EXPECT_EQ(settings.connected.load(), 0);
}

TEST_F(SerialMaster, EndsAnMbapFramedReplyAtMessageDoneWithoutWaitingForAGap) {
    settings.protocol = 0;
    port->slave = [](const Bytes& request) {
        // Transaction id echoed; length 7: unit, function, byte count, 2 registers.
        return At(10, Bytes{request[0], request[1], 0x00, 0x00, 0x00, 0x07, 0x01, 0x03, 0x04, 0x00,
                            0x2A, 0x00, 0x2B});
    };
    settings.polls = {TestPolls::ReadRegisters(0, 2)};
    MapRegisters(0, 2);
    ASSERT_TRUE(master.Start());
    const Steps steps = Until("received 13");
    EXPECT_EQ(steps, (Steps{"state 0", "state 1", "sent 0", "item 0", "item 1", "received 13"}));
    EXPECT_LT(Between(2, 5), 150) << "no 200 ms gap after message done";
    EXPECT_EQ(settings.datamap.Find(1)->AsUnsignedShort(), 43);
    EXPECT_TRUE(Traced(L"Message parse done\n"));
}

TEST_F(SerialMaster, ShowsAFrameWithABadCrcButChangesNothing) {
    port->slave = [](const Bytes& request) {
        Bytes reply = RegistersReply(request);
        reply.back() ^= 0xFF;
        return At(10, reply);
    };
    settings.polls = {TestPolls::ReadRegisters(0, 2)};
    MapRegisters(0, 2);
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("received 9"), (Steps{"state 0", "state 1", "sent 0", "received 9"}));
    EXPECT_EQ(settings.datamap.Find(0)->AsUnsignedShort(), 0);
}

TEST_F(SerialMaster, CountsPollsWithoutAnswerAgainstRetriesATimeoutApart) {
    settings.timeout = 250;
    settings.polls = {TestPolls::ReadRegisters(0, 1), TestPolls::ReadRegisters(50, 1)};
    ASSERT_TRUE(master.Start());
    const Steps steps = Until("sent 50");
    EXPECT_EQ(steps, (Steps{"state 0", "state 1", "sent 0", "retry", "sent 0", "retry", "sent 0",
                            "give up", "sent 50"}));
    for (std::size_t sent : {4u, 6u, 8u}) {
        EXPECT_GE(Between(sent - 2, sent), 230) << "requests follow the timeout";
        EXPECT_LT(Between(sent - 2, sent), 450);
    }
}

TEST_F(SerialMaster, AwaitsTheFirstReplyByteUpToTheTimeout) {
    settings.timeout = 1000;
    port->slave = [](const Bytes& request) { return At(300, RegistersReply(request)); };
    settings.polls = {TestPolls::ReadRegisters(0, 1)};
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("received 7"), (Steps{"state 0", "state 1", "sent 0", "item 0", "received 7"}));
}

TEST_F(SerialMaster, LetsAReplyStillArrivingAtTheTickFinish) {
    settings.timeout = 200;
    port->slave = [](const Bytes& request) {
        // One byte every 60 ms: the frame is still coming when the tick falls.
        std::vector<Chunk> chunks;
        for (std::uint8_t byte : RegistersReply(request)) chunks.push_back({60, {byte}});
        return chunks;
    };
    settings.polls = {TestPolls::ReadRegisters(0, 1)};
    MapRegisters(0, 1);
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("received 7"), (Steps{"state 0", "state 1", "sent 0", "item 0", "received 7"}));
    EXPECT_EQ(settings.datamap.Find(0)->AsUnsignedShort(), 1000);
}

TEST_F(SerialMaster, CountsExceptionRepliesAgainstRetriesAndShowsThem) {
    port->slave = [](const Bytes&) { return At(10, WithCrc({0x01, 0x83, 0x02})); };
    settings.polls = {TestPolls::ReadRegisters(0, 1), TestPolls::ReadRegisters(7, 1)};
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("sent 7"),
              (Steps{"state 0", "state 1", "sent 0", "received 5", "retry", "sent 0", "received 5",
                     "retry", "sent 0", "received 5", "give up", "sent 7"}))
        << "an exception reply must not hold the cycle on its poll";
}

TEST_F(SerialMaster, ReadsAnAbandonedFrameToItsEndShowsItAndCountsIt) {
    // Function 9 is not in the table: the parser gives up at once.
    port->slave = [](const Bytes&) { return At(10, WithCrc({0x01, 0x09, 0x02, 0x00, 0x01})); };
    settings.retries = 1;
    settings.polls = {TestPolls::ReadRegisters(0, 1)};
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("give up"), (Steps{"state 0", "state 1", "sent 0", "received 7", "give up"}));
    EXPECT_TRUE(Traced(L"Unsupported function - Aborting\n"));
}

TEST_F(SerialMaster, CutsALineThatNeverFallsSilentOnceTheTimeoutHasPassed) {
    settings.timeout = 100;
    settings.retries = 1;
    int requests = 0;
    port->slave = [&requests](const Bytes&) {
        // Far more than any frame, without a pause; only the first time.
        return requests++ == 0 ? At(5, Bytes(ModbusPacket::kMaxFrameBytes + 500, 0x01))
                               : std::vector<Chunk>{};
    };
    settings.polls = {TestPolls::ReadRegisters(0, 1)};
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(UntilNth("sent 0", 2, 15000),
              (Steps{"state 0", "state 1", "sent 0", "received 4096", "give up", "sent 0"}))
        << "the frame keeps what a packet holds; the rest is discarded";
}

TEST_F(SerialMaster, DiscardsBytesWaitingInThePortBeforeEachRequest) {
    settings.pollrate = 400;
    int replies = 0;
    port->slave = [&replies](const Bytes& request) {
        std::vector<Chunk> chunks = At(10, RegistersReply(request));
        // Line noise after the first reply, well before the next request.
        if (replies++ == 0) chunks.push_back({300, {0x55, 0x55, 0x55}});
        return chunks;
    };
    settings.polls = {TestPolls::ReadRegisters(0, 1)};
    MapRegisters(0, 1);
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(UntilNth("received 7", 2), (Steps{"state 0", "state 1", "sent 0", "item 0",
                                                "received 7", "sent 0", "item 0", "received 7"}));
    EXPECT_EQ(port->Discarded(), 3u);
}

TEST_F(SerialMaster, ShowsAnotherSlavesFrameAndAwaitsItsOwnReply) {
    port->slave = [](const Bytes& request) {
        std::vector<Chunk> chunks = At(10, RegistersReply(request, 2));
        chunks.push_back({250, RegistersReply(request)});
        return chunks;
    };
    settings.timeout = 1000;
    settings.polls = {TestPolls::ReadRegisters(0, 1)};
    MapRegisters(0, 1);
    settings.datamap.UpdateItem(0, DataItem::MakeUnsignedShort(5));
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("item 0"), (Steps{"state 0", "state 1", "sent 0", "received 7", "item 0"}));
    EXPECT_EQ(settings.datamap.Find(0)->AsUnsignedShort(), 1000);
    EXPECT_EQ(Until("received 7"), Steps{"received 7"});
}

TEST_F(SerialMaster, DecodesAReplyWithThePresetOfThePollThatWasSent) {
    // Both polls read the same registers; the float poll comes first in the list.
    Poll floats = TestPolls::Make(3, 0, 2, PresetId::Float);
    Poll words = TestPolls::ReadRegisters(0, 2);
    settings.polls = {floats, words};
    settings.pollIndex = 1;
    settings.singlePollIndex = 1;
    port->slave = [](const Bytes& request) { return At(10, RegistersReply(request)); };
    MapRegisters(0, 2);
    ASSERT_TRUE(master.Start());
    Until("run ended");
    ASSERT_TRUE(settings.datamap.Find(1).has_value());
    EXPECT_EQ(settings.datamap.Find(1)->type, DataItem::UnsignedShort);
    EXPECT_EQ(settings.datamap.Find(1)->AsUnsignedShort(), 1001);
}

TEST_F(SerialMaster, EndsASinglePollAfterItsReply) {
    port->slave = [](const Bytes& request) { return At(10, RegistersReply(request)); };
    settings.polls = {TestPolls::ReadRegisters(0, 1), TestPolls::ReadRegisters(9, 1)};
    settings.singlePollIndex = 1;
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("run ended"), (Steps{"state 0", "state 1", "sent 9", "item 9", "received 7",
                                         "state 4", "run ended"}));
    EXPECT_EQ(settings.singlePollIndex.load(), -1);
    EXPECT_EQ(port->Requests().size(), 1u);
}

TEST_F(SerialMaster, GivesASinglePollWithoutAnswerUpAfterOneTimeout) {
    settings.timeout = 150;
    settings.polls = {TestPolls::ReadRegisters(0, 1)};
    settings.singlePollIndex = 0;
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("run ended"),
              (Steps{"state 0", "state 1", "sent 0", "retry", "give up", "state 4", "run ended"}));
}

TEST_F(SerialMaster, ReportsAWriteTheLineRefusesAndCountsIt) {
    port->writesFail = true;
    settings.timeout = 100;
    settings.retries = 2;
    settings.polls = {TestPolls::ReadRegisters(0, 1)};
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("give up"),
              (Steps{"state 0", "state 1", "state 3", "retry", "state 3", "give up"}));
}

}  // namespace
