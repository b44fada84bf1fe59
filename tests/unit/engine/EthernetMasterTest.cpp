// The Modbus TCP master against a fake slave on 127.0.0.1: the events it
// posts, in order, for the situations a user meets. Times are short real
// times; every wait is bounded.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "FakeSlave.h"
#include "TestPolls.h"
#include "engine/ModbusMasterEthernet.h"
#include "engine/NotificationQueue.h"
#include "engine/Notifier.h"
#include "protocol/Crc16.h"
#include "protocol/ModbusPacket.h"

namespace {

using Bytes = FakeSlave::Bytes;
using Steps = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

std::uint16_t Word(const Bytes& bytes, std::size_t at) {
    return static_cast<std::uint16_t>((bytes[at] << 8) | bytes[at + 1]);
}

// Register i of the slave holds 1000 + i.
std::vector<std::uint16_t> Registers(std::uint16_t start, std::uint16_t count) {
    std::vector<std::uint16_t> values;
    for (std::uint16_t i = 0; i < count; ++i) values.push_back(1000 + start + i);
    return values;
}

// The MBAP reply a function 3 slave gives to request.
Bytes ReadReply(const Bytes& request) {
    return FakeSlave::MbapReply(
        request, FakeSlave::RegistersPdu(3, Registers(Word(request, 8), Word(request, 10))));
}

FakeSlave::Answer Reply(Bytes bytes) { return {{std::move(bytes)}}; }
FakeSlave::Answer Silence() { return {}; }

class EthernetMaster : public ::testing::Test {
  protected:
    EthernetMaster() {
        for (std::uint32_t event = EventConnectionState; event <= EventRunEnded; ++event) {
            notifier.Register(&queue, event);
        }
        settings.pollrate = 10;
        settings.timeout = 150;
        settings.retries = 3;
        master.host = "127.0.0.1";
    }
    ~EthernetMaster() override { master.Stop(true); }

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

    // The events up to and including the first one described as last.
    Steps Until(const std::string& last, int timeoutMs = 3000) {
        Steps steps;
        const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < until) {
            std::optional<Notification> next = queue.Pop(10);
            if (!next) continue;
            steps.push_back(Describe(*next));
            if (steps.back() == last) return steps;
        }
        ADD_FAILURE() << "no \"" << last << "\" within " << timeoutMs << " ms";
        return steps;
    }

    // The events up to the count-th one described as last.
    Steps UntilNth(const std::string& last, int count, int timeoutMs = 3000) {
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

    Notifier notifier;
    NotificationQueue queue;
    CommsSettings settings;
    ModbusMasterEthernet master{notifier, settings};
};

TEST_F(EthernetMaster, ConnectsPollsAndAnnouncesChangedValuesAfterEachReply) {
    FakeSlave slave([](const Bytes& request, int) { return Reply(ReadReply(request)); });
    master.port = slave.Port();
    settings.polls = {TestPolls::ReadRegisters(100, 2)};
    MapRegisters(100, 2);
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(UntilNth("received 13", 2),
              (Steps{"state 0", "state 1", "sent 100", "received 13", "item 100", "item 101",
                     "sent 100", "received 13"}))
        << "unchanged values are not announced again";
    EXPECT_EQ(settings.connected.load(), 1);
    EXPECT_EQ(settings.datamap.Find(100)->AsUnsignedShort(), 1100);
    EXPECT_EQ(settings.datamap.Find(101)->AsUnsignedShort(), 1101);
    const Steps end = StopAndDrain();
    EXPECT_EQ(Steps(end.end() - 2, end.end()), (Steps{"state 4", "run ended"}));
    EXPECT_EQ(settings.connected.load(), 0);
    EXPECT_FALSE(master.IsRunning());
}

TEST_F(EthernetMaster, RetriesAPollThatGetsNoAnswerThenGivesUpAndSendsTheNextAtOnce) {
    FakeSlave slave([](const Bytes& request, int) {
        return Word(request, 8) == 200 ? Silence() : Reply(ReadReply(request));
    });
    master.port = slave.Port();
    settings.timeout = 40;
    settings.polls = {TestPolls::ReadRegisters(100, 1), TestPolls::ReadRegisters(200, 1)};
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(UntilNth("sent 100", 2),
              (Steps{"state 0", "state 1", "sent 100", "received 11", "sent 200", "retry",
                     "sent 200", "retry", "sent 200", "give up", "sent 100"}));
}

TEST_F(EthernetMaster, SingleModeWithAReplyEndsTheRunAfterThatPoll) {
    FakeSlave slave([](const Bytes& request, int) { return Reply(ReadReply(request)); });
    master.port = slave.Port();
    settings.polls = {TestPolls::ReadRegisters(100, 1), TestPolls::ReadRegisters(200, 1)};
    settings.singlePollIndex = 1;
    MapRegisters(200, 1);
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("run ended"), (Steps{"state 0", "state 1", "sent 200", "received 11",
                                         "item 200", "state 4", "run ended"}));
    EXPECT_EQ(settings.singlePollIndex.load(), -1) << "the next run is cyclic";
    EXPECT_EQ(settings.connected.load(), 0);
    EXPECT_TRUE(master.WaitForEnd(1000));
}

TEST_F(EthernetMaster, SingleModeWithoutAReplyGivesUpAtTheFirstTimeout) {
    FakeSlave slave([](const Bytes&, int) { return Silence(); });
    master.port = slave.Port();
    settings.timeout = 40;
    settings.polls = {TestPolls::ReadRegisters(100, 1)};
    settings.singlePollIndex = 0;
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("run ended"),
              (Steps{"state 0", "state 1", "sent 100", "give up", "state 4", "run ended"}));
    EXPECT_EQ(settings.singlePollIndex.load(), -1);
    EXPECT_EQ(slave.Requests().size(), 1u) << "no retry in single mode";
}

TEST_F(EthernetMaster, StaysConnectedAndSendsNothingWithAnEmptyPollList) {
    FakeSlave slave([](const Bytes& request, int) { return Reply(ReadReply(request)); });
    master.port = slave.Port();
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("state 1"), (Steps{"state 0", "state 1"}));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(StopAndDrain(), (Steps{"state 4", "run ended"}));
    EXPECT_TRUE(slave.Requests().empty());
}

TEST_F(EthernetMaster, EndsAtOnceWhenTheHostCannotBeResolved) {
    master.host = "no-such-host.invalid";
    settings.polls = {TestPolls::ReadRegisters(100, 1)};
    settings.singlePollIndex = 0;
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("run ended", 10000), (Steps{"state 0", "run ended"}));
    EXPECT_TRUE(master.WaitForEnd(1000));
    EXPECT_EQ(settings.singlePollIndex.load(), -1);
    EXPECT_TRUE(master.Start()) << "a run that ended at once does not block the next";
    EXPECT_EQ(Until("run ended", 10000), (Steps{"state 0", "run ended"}));
}

TEST_F(EthernetMaster, GivesUpARefusingSlaveAfterRetriesAttemptsPacedApart) {
    master.port = FakeSlave::RefusingPort();
    settings.timeout = 30;
    settings.polls = {TestPolls::ReadRegisters(100, 1)};
    const auto started = Clock::now();
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("run ended"), (Steps{"state 0", "state 3", "state 0", "state 3", "state 0",
                                         "state 3", "run ended"}));
    // Attempts start 30 ms, then 60 ms apart.
    EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(85));
    EXPECT_EQ(settings.connected.load(), 0);
}

TEST_F(EthernetMaster, PacesAttemptsAtASlaveThatAcceptsAndClosesAtOnce) {
    FakeSlave slave([](const Bytes& request, int) { return Reply(ReadReply(request)); });
    slave.CloseOnAccept(1000);
    master.port = slave.Port();
    settings.timeout = 20;
    settings.retries = 0;
    settings.polls = {TestPolls::ReadRegisters(100, 1)};
    ASSERT_TRUE(master.Start());
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    master.Stop(true);
    // Gaps of 20, 40, 80, 160 ms: about 5 attempts in 400 ms, not thousands.
    EXPECT_GE(slave.Connections(), 2);
    EXPECT_LE(slave.Connections(), 8);
    EXPECT_LE(queue.Size(), 40u) << "the monitor is not flooded";
}

TEST_F(EthernetMaster, ReconnectsWhenThePeerClosesAndResumesAtTheCurrentPoll) {
    FakeSlave slave([](const Bytes& request, int number) {
        if (number == 1) return FakeSlave::Answer{{}, 0, 0, true};  // close, no reply
        return Reply(ReadReply(request));
    });
    master.port = slave.Port();
    settings.timeout = 1000;
    settings.polls = {TestPolls::ReadRegisters(100, 1), TestPolls::ReadRegisters(200, 1)};
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(UntilNth("received 11", 2),
              (Steps{"state 0", "state 1", "sent 100", "received 11", "sent 200", "state 2",
                     "state 0", "state 1", "sent 200", "received 11"}))
        << "no timeout is counted for the request the closed link lost";
    EXPECT_EQ(slave.Connections(), 2);
}

TEST_F(EthernetMaster, CountsRefusedReconnectsApartFromReplyTimeouts) {
    FakeSlave slave([](const Bytes&, int number) {
        FakeSlave::Answer answer;  // never a reply
        if (number == 1) answer.closeAfter = answer.stopListening = true;
        return answer;
    });
    master.port = slave.Port();
    settings.timeout = 40;
    settings.retries = 2;
    settings.polls = {TestPolls::ReadRegisters(100, 1)};
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("run ended"),
              (Steps{"state 0", "state 1", "sent 100", "retry", "sent 100", "state 2", "state 0",
                     "state 3", "state 0", "state 3", "run ended"}))
        << "one timeout and one refusal do not add up to the two retries";
}

TEST_F(EthernetMaster, ShowsAReplyOfAnotherTransactionAndKeepsWaitingForItsOwn) {
    FakeSlave slave([](const Bytes& request, int number) {
        Bytes reply = ReadReply(request);
        if (number == 0) reply[1] ^= 0x01;  // another transaction id
        return Reply(reply);
    });
    master.port = slave.Port();
    settings.timeout = 60;
    settings.polls = {TestPolls::ReadRegisters(100, 1)};
    MapRegisters(100, 1);
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("item 100"), (Steps{"state 0", "state 1", "sent 100", "received 11", "retry",
                                        "sent 100", "received 11", "item 100"}))
        << "the stray frame stores nothing and does not count as the reply";
}

TEST_F(EthernetMaster, AnExceptionReplyAnswersThePollButStoresNothing) {
    FakeSlave slave([](const Bytes& request, int) {
        return Reply(FakeSlave::MbapReply(request, {0x83, 0x02}));  // illegal data address
    });
    master.port = slave.Port();
    settings.polls = {TestPolls::ReadRegisters(100, 1), TestPolls::ReadRegisters(200, 1)};
    MapRegisters(100, 1);
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("sent 200"),
              (Steps{"state 0", "state 1", "sent 100", "received 9", "sent 200"}))
        << "no retry: the slave did answer";
    EXPECT_EQ(settings.datamap.Find(100)->type, DataItem::UnsignedShort);
    EXPECT_EQ(settings.datamap.Find(100)->AsUnsignedShort(), 0);
}

TEST_F(EthernetMaster, ReassemblesAReplyWhoseHeaderAndBodyArriveApart) {
    FakeSlave slave([](const Bytes& request, int) {
        const Bytes reply = ReadReply(request);
        return FakeSlave::Answer{
            {Bytes(reply.begin(), reply.begin() + 6), Bytes(reply.begin() + 6, reply.begin() + 9),
             Bytes(reply.begin() + 9, reply.end())},
            0,
            15};
    });
    master.port = slave.Port();
    settings.polls = {TestPolls::ReadRegisters(100, 2)};
    MapRegisters(100, 2);
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("item 101"),
              (Steps{"state 0", "state 1", "sent 100", "received 13", "item 100", "item 101"}));
}

TEST_F(EthernetMaster, DecodesTheExpectedReplyBehindALateOneInTheSameSegment) {
    Bytes firstRequest;
    FakeSlave slave([&firstRequest](const Bytes& request, int number) {
        if (number == 0) {
            firstRequest = request;
            return Silence();
        }
        Bytes both = ReadReply(firstRequest);
        const Bytes current = ReadReply(request);
        both.insert(both.end(), current.begin(), current.end());
        return Reply(both);
    });
    master.port = slave.Port();
    settings.timeout = 50;
    settings.polls = {TestPolls::ReadRegisters(100, 1)};
    MapRegisters(100, 1);
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("item 100"), (Steps{"state 0", "state 1", "sent 100", "retry", "sent 100",
                                        "received 11", "received 11", "item 100"}));
}

TEST_F(EthernetMaster, CarriesRtuFramesOverTcp) {
    FakeSlave slave(
        [](const Bytes& request, int) {
            // 01 03 start count CRC -> 01 03 bytecount data CRC, sent in two pieces.
            Bytes reply = {request[0], 0x03, 0x04, 0x00, 0x07, 0x00, 0x08};
            const std::uint16_t crc = Crc16(0xFFFF, reply);
            reply.push_back(static_cast<std::uint8_t>(crc));
            reply.push_back(static_cast<std::uint8_t>(crc >> 8));
            return FakeSlave::Answer{
                {Bytes(reply.begin(), reply.begin() + 4), Bytes(reply.begin() + 4, reply.end())},
                0,
                15};
        },
        false);
    master.port = slave.Port();
    settings.protocol = 1;
    settings.polls = {TestPolls::ReadRegisters(100, 2)};
    MapRegisters(100, 2);
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("item 101"),
              (Steps{"state 0", "state 1", "sent 100", "received 9", "item 100", "item 101"}));
    EXPECT_EQ(settings.datamap.Find(101)->AsUnsignedShort(), 8);
    const Bytes request = slave.Requests().front();
    ASSERT_EQ(request.size(), 8u) << "address, function, start, count, CRC";
    EXPECT_EQ(Crc16(0xFFFF, request), 0);
}

TEST_F(EthernetMaster, WrapsTheTransactionCounterToZero) {
    FakeSlave slave([](const Bytes& request, int) { return Reply(ReadReply(request)); });
    master.port = slave.Port();
    settings.transactionCounter = 65535;
    settings.polls = {TestPolls::ReadRegisters(100, 1)};
    MapRegisters(100, 1);
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("item 100"),
              (Steps{"state 0", "state 1", "sent 100", "received 11", "item 100"}));
    EXPECT_EQ(Word(slave.Requests().front(), 0), 0) << "65535 + 1 is sent as 0";
}

}  // namespace
