// The Modbus TCP master against a fake slave on 127.0.0.1: the events it
// posts, in order, for the situations a user meets. Times are short real
// times; every wait is bounded.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "FakeSlave.h"
#include "MasterEvents.h"
#include "engine/ModbusMasterEthernet.h"

namespace {

using Answer = FakeSlave::Answer;

Bytes ReadReply(const Bytes& request) {
    return FakeSlave::MbapReply(request, ReadPdu(Word(request, 8), Word(request, 10)));
}
Answer Reply(const Bytes& request) { return {{ReadReply(request)}}; }

// A TCP master with short times and its event collector.
struct TcpRig : MasterEvents {
    TcpRig() {
        settings.pollrate = 10;
        settings.timeout = 150;
        settings.retries = 3;
        master.host = "127.0.0.1";
    }
    ~TcpRig() { master.Stop(true); }

    // Polls one register at each start, all of them mapped.
    void Poll(const std::vector<std::uint16_t>& starts) {
        for (std::uint16_t start : starts) {
            settings.polls.push_back(MakeTestPoll(3, start, 1));
            MapRegisters(settings.datamap, start, 1);
        }
    }
    Steps StopAndDrain() {
        master.Stop(true);
        return Until("run ended");
    }

    CommsSettings settings;
    ModbusMasterEthernet master{notifier, settings};
};

class EthernetMaster : public ::testing::Test, protected TcpRig {};

TEST_F(EthernetMaster, ConnectsPollsAndAnnouncesChangedValuesAfterEachReply) {
    FakeSlave slave([](const Bytes& request, int) { return Reply(request); });
    master.port = slave.Port();
    settings.transactionCounter = 65535;
    settings.polls = {MakeTestPoll(3, 100, 2)};
    MapRegisters(settings.datamap, 100, 2);
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("received 13", 2), (Steps{"state 0", "state 1", "sent 100", "received 13",
                                              "item 100", "item 101", "sent 100", "received 13"}))
        << "unchanged values are not announced again";
    EXPECT_EQ(settings.connected.load(), 1);
    EXPECT_EQ(settings.datamap.Find(101)->AsUnsignedShort(), 1101);
    EXPECT_EQ(Word(slave.Requests().at(0), 0), 0) << "transaction 65535 + 1 is sent as 0";
    const Steps end = StopAndDrain();
    EXPECT_EQ(Steps(end.end() - 2, end.end()), (Steps{"state 4", "run ended"}));
    EXPECT_EQ(settings.connected.load(), 0);
    EXPECT_FALSE(master.IsRunning());
}

// One situation each: what the slave does, the settings that differ and
// the events up to the count-th "until".
struct Scenario {
    const char* name;
    FakeSlave::Handler slave;
    std::vector<std::uint16_t> polls;
    std::uint32_t timeout;
    std::uint32_t retries;
    int single;
    const char* until;
    int count;
    Steps expected;
};

TEST_F(EthernetMaster, FollowsEachScenarioEventForEvent) {
    auto firstRequest = std::make_shared<Bytes>();
    const Scenario scenarios[] = {
        {"retries a silent poll, gives up and sends the next at once",
         [](const Bytes& r, int) { return Word(r, 8) == 200 ? Answer{} : Reply(r); },
         {100, 200},
         40,
         3,
         -1,
         "sent 100",
         2,
         {"state 0", "state 1", "sent 100", "received 11", "item 100", "sent 200", "retry",
          "sent 200", "retry", "sent 200", "give up", "sent 100"}},
        {"single mode ends the run after its reply",
         [](const Bytes& r, int) { return Reply(r); },
         {100, 200},
         150,
         3,
         1,
         "run ended",
         1,
         {"state 0", "state 1", "sent 200", "received 11", "item 200", "state 4", "run ended"}},
        {"a peer closing loses no timeout and polling resumes at the current poll",
         [](const Bytes& r, int n) {
             return n == 1 ? Answer{{}, true} : Reply(r);
         },
         {100, 200},
         1000,
         3,
         -1,
         "received 11",
         2,
         {"state 0", "state 1", "sent 100", "received 11", "item 100", "sent 200", "state 2",
          "state 0", "state 1", "sent 200", "received 11"}},
        {"one timeout and one refused reconnect do not add up to two retries",
         [](const Bytes&, int n) {
             return n == 1 ? Answer{{}, true, true} : Answer{};
         },
         {100},
         40,
         2,
         -1,
         "run ended",
         1,
         {"state 0", "state 1", "sent 100", "retry", "sent 100", "state 2", "state 0", "state 3",
          "state 0", "state 3", "run ended"}},
        {"a reply of another transaction is shown, stores nothing and is not the reply",
         [](const Bytes& r, int n) {
             Bytes reply = ReadReply(r);
             if (n == 0) reply[1] ^= 0x01;
             return Answer{{reply}};
         },
         {100},
         60,
         3,
         -1,
         "item 100",
         1,
         {"state 0", "state 1", "sent 100", "received 11", "retry", "sent 100", "received 11",
          "item 100"}},
        {"an exception reply answers the poll (no retry) but stores nothing",
         [](const Bytes& r, int) {
             return Answer{{FakeSlave::MbapReply(r, {0x83, 0x02})}};
         },
         {100, 200},
         150,
         3,
         -1,
         "sent 200",
         1,
         {"state 0", "state 1", "sent 100", "received 9", "sent 200"}},
        {"a reply whose header, count and data arrive apart is reassembled",
         [](const Bytes& r, int) {
             const Bytes reply = ReadReply(r);
             return Answer{{Bytes(reply.begin(), reply.begin() + 6),
                            Bytes(reply.begin() + 6, reply.begin() + 9),
                            Bytes(reply.begin() + 9, reply.end())}};
         },
         {100},
         150,
         3,
         -1,
         "item 100",
         1,
         {"state 0", "state 1", "sent 100", "received 11", "item 100"}},
        {"the expected reply behind a late one in the same segment is decoded",
         [firstRequest](const Bytes& r, int n) {
             if (n == 0) *firstRequest = r;
             if (n == 0) return Answer{};
             Bytes both = ReadReply(*firstRequest);
             const Bytes current = ReadReply(r);
             both.insert(both.end(), current.begin(), current.end());
             return Answer{{both}};
         },
         {100},
         50,
         3,
         -1,
         "item 100",
         1,
         {"state 0", "state 1", "sent 100", "retry", "sent 100", "received 11", "received 11",
          "item 100"}},
    };
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(s.name);
        FakeSlave slave(s.slave);
        TcpRig rig;
        rig.master.port = slave.Port();
        rig.settings.timeout = s.timeout;
        rig.settings.retries = s.retries;
        rig.settings.singlePollIndex = s.single;
        rig.Poll(s.polls);
        ASSERT_TRUE(rig.master.Start());
        EXPECT_EQ(rig.Until(s.until, s.count), s.expected);
        if (s.single != -1) {
            EXPECT_EQ(rig.settings.singlePollIndex.load(), -1) << "the next run is cyclic";
        }
    }
}

TEST_F(EthernetMaster, EndsAtOnceWhenTheHostCannotBeResolvedAndCanStartAgain) {
    master.host = "no-such-host.invalid";
    Poll({100});
    settings.singlePollIndex = 0;
    for (int run = 0; run < 2; ++run) {
        ASSERT_TRUE(master.Start()) << "a run that ended at once does not block the next";
        EXPECT_EQ(Until("run ended", 1, 10000), (Steps{"state 0", "run ended"}));
        EXPECT_TRUE(master.WaitForEnd(1000));
        EXPECT_EQ(settings.singlePollIndex.load(), -1);
    }
}

TEST_F(EthernetMaster, GivesUpARefusingSlaveAfterRetriesAttemptsPacedApart) {
    master.port = FakeSlave::RefusingPort();
    settings.timeout = 30;
    Poll({100});
    const auto started = Clock::now();
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("run ended"), (Steps{"state 0", "state 3", "state 0", "state 3", "state 0",
                                         "state 3", "run ended"}));
    // Attempts start 30 ms, then 60 ms apart.
    EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(85));
}

TEST_F(EthernetMaster, PacesAttemptsAtASlaveThatAcceptsAndClosesAtOnce) {
    FakeSlave slave([](const Bytes& request, int) { return Reply(request); });
    slave.CloseOnAccept(1000);
    master.port = slave.Port();
    settings.timeout = 20;
    settings.retries = 0;
    Poll({100});
    ASSERT_TRUE(master.Start());
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    master.Stop(true);
    // Gaps of 20, 40, 80, 160 ms: about 5 attempts in 400 ms, not thousands.
    EXPECT_GE(slave.Connections(), 2);
    EXPECT_LE(slave.Connections(), 8);
    EXPECT_LE(queue.Size(), 40u) << "the monitor is not flooded";
}

TEST_F(EthernetMaster, CarriesRtuFramesOverTcp) {
    // 01 03 start count CRC -> 01 03 04 0007 0008 CRC, sent in two pieces.
    const Bytes reply = RtuFrame(1, {0x03, 0x04, 0x00, 0x07, 0x00, 0x08});
    FakeSlave slave(
        [&reply](const Bytes&, int) {
            return Answer{
                {Bytes(reply.begin(), reply.begin() + 4), Bytes(reply.begin() + 4, reply.end())}};
        },
        false);
    master.port = slave.Port();
    settings.protocol = 1;
    settings.polls = {MakeTestPoll(3, 100, 2)};
    MapRegisters(settings.datamap, 100, 2);
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("item 101"),
              (Steps{"state 0", "state 1", "sent 100", "received 9", "item 100", "item 101"}));
    EXPECT_EQ(settings.datamap.Find(101)->AsUnsignedShort(), 8);
    const Bytes request = slave.Requests().front();
    EXPECT_EQ(request, RtuFrame(1, {0x03, 0x00, 0x64, 0x00, 0x02})) << "01 03 0064 0002 CRC";
}

TEST_F(EthernetMaster, AtPollRateZeroPollsBackToBackWithoutStaleTicksAndStopsAtOnce) {
    FakeSlave slave([](const Bytes& request, int) { return Reply(request); });
    master.port = slave.Port();
    settings.pollrate = 0;
    settings.timeout = 1000;
    settings.polls = {MakeTestPoll(3, 100, 1), MakeTestPoll(3, 200, 1)};
    ASSERT_TRUE(master.Start());
    const Steps steps = Until("received 11", 200);
    for (std::size_t i = 2; i < steps.size(); ++i) {
        const std::string expected = i % 2 ? "received 11" : (i % 4 == 2 ? "sent 100" : "sent 200");
        ASSERT_EQ(steps[i], expected) << "step " << i << ": polls take turns, no tick times out";
    }
    // Stopping is seen between two polls, though the next is due at once.
    const Clock::time_point stop = Clock::now();
    const Steps end = StopAndDrain();
    EXPECT_LT(Clock::now() - stop, std::chrono::milliseconds(500));
    EXPECT_EQ(Steps(end.end() - 2, end.end()), (Steps{"state 4", "run ended"}));
}

}  // namespace
