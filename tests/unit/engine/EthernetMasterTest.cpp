// The Modbus TCP master against a fake slave on 127.0.0.1: the events it
// posts, in order, for the situations a user meets. Times are short real
// times; every wait is bounded. (The replies a slave gets wrong, split or
// merges are the fault table's, against the simulator.)
#include <gtest/gtest.h>

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
    CommsSettings settings;
    ModbusMasterEthernet master{notifier, settings};
};

class EthernetMaster : public ::testing::Test, protected TcpRig {};

// At poll rate 0 the polls go back to back; a tick left from the previous
// poll must not count as a timeout, and stopping is seen between two polls.
TEST_F(EthernetMaster, ConnectsPollsBackToBackAnnouncesChangesAndStopsAtOnce) {
    FakeSlave slave([](const Bytes& request, int) { return Reply(request); });
    master.port = slave.Port();
    settings.pollrate = 0;
    settings.timeout = 1000;
    settings.transactionCounter = 65535;
    settings.polls = {MakeTestPoll(3, 100, 2), MakeTestPoll(3, 200, 1)};
    MapRegisters(settings.datamap, 100, 2);
    ASSERT_TRUE(master.Start());
    std::string expected =
        "state 0, state 1, sent 100, received 13, item 100, item 101, sent 200, "
        "received 11";
    for (int i = 1; i < 100; ++i) expected += ", sent 100, received 13, sent 200, received 11";
    EXPECT_EQ(Until("received 11", 100), expected) << "unchanged values are not announced again";
    EXPECT_EQ(settings.connected.load(), 1);
    EXPECT_EQ(settings.datamap.Find(101)->AsUnsignedShort(), 1101);
    EXPECT_EQ(Word(slave.Requests().at(0), 0), 0) << "transaction 65535 + 1 is sent as 0";
    const Clock::time_point stop = Clock::now();
    master.Stop(true);
    EXPECT_TRUE(Until("run ended").ends_with("state 4, run ended"));
    EXPECT_LT(Clock::now() - stop, std::chrono::milliseconds(500));
    EXPECT_EQ(settings.connected.load(), 0);
    EXPECT_FALSE(master.IsRunning());
}

TEST_F(EthernetMaster, FollowsEachScenarioEventForEvent) {
    // clang-format off
    const Scenario<FakeSlave::Handler> scenarios[] = {
        {"single mode ends the run after its reply",
         [](const Bytes& r, int) { return Reply(r); }, {100, 200}, 150, 3, 1, "run ended", 1,
         "state 0, state 1, sent 200, received 11, item 200, state 4, run ended"},
        {"a peer closing loses no timeout; polling resumes at the current poll",
         [](const Bytes& r, int n) { return n == 1 ? Answer{{}, true} : Reply(r); },
         {100, 200}, 1000, 3, -1, "received 11", 2,
         "state 0, state 1, sent 100, received 11, item 100, sent 200, state 2, state 0, state 1, "
         "sent 200, received 11"},
        {"one timeout and one refused reconnect do not add up to two retries",
         [](const Bytes&, int n) { return n == 1 ? Answer{{}, true, true} : Answer{}; },
         {100}, 40, 2, -1, "run ended", 1,
         "state 0, state 1, sent 100, retry, sent 100, state 2, state 0, state 3, state 0, "
         "state 3, run ended"},
    };
    // clang-format on
    for (const auto& s : scenarios) {
        SCOPED_TRACE(s.name);
        FakeSlave slave(s.slave);
        TcpRig rig;
        rig.master.port = slave.Port();
        for (std::uint16_t start : s.polls) MapRegisters(rig.settings.datamap, start, 1);
        RunScenario(rig, s);
    }
}

TEST_F(EthernetMaster, EndsAtOnceWhenTheHostCannotBeResolvedAndCanStartAgain) {
    master.host = "no-such-host.invalid";
    settings.polls = {MakeTestPoll(3, 100, 1)};
    for (int run = 0; run < 2; ++run) {
        settings.singlePollIndex = 0;
        ASSERT_TRUE(master.Start()) << "a run that ended at once does not block the next";
        EXPECT_EQ(Until("run ended", 1, 10000), "state 0, run ended");
        EXPECT_TRUE(master.WaitForEnd(1000));
        EXPECT_EQ(settings.singlePollIndex.load(), -1);
    }
}

TEST_F(EthernetMaster, PacesConnectionAttemptsAtARefusingSlaveAndAtOneThatClosesAtOnce) {
    master.port = FakeSlave::RefusingPort();
    settings.timeout = 30;
    settings.polls = {MakeTestPoll(3, 100, 1)};
    const auto started = Clock::now();
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("run ended"),
              "state 0, state 3, state 0, state 3, state 0, state 3, run ended");
    EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(85)) << "30, then 60 ms apart";

    FakeSlave slave([](const Bytes& request, int) { return Reply(request); });
    slave.CloseOnAccept(1000);
    master.port = slave.Port();
    settings.timeout = 20;
    settings.retries = 0;
    ASSERT_TRUE(master.Start());
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    master.Stop(true);
    // Gaps of 20, 40, 80, 160 ms: about 5 attempts in 400 ms, not thousands.
    EXPECT_GE(slave.Connections(), 2);
    EXPECT_LE(slave.Connections(), 8);
    EXPECT_LE(queue.Size(), 40u) << "the monitor is not flooded";
}

TEST_F(EthernetMaster, CarriesRtuFramesOverTcp) {
    const Bytes reply = RtuFrame(1, Hex("03 04 00 07 00 08"));
    FakeSlave slave(
        [&reply](const Bytes&, int) {  // in two pieces
            return Answer{
                {Bytes(reply.begin(), reply.begin() + 4), Bytes(reply.begin() + 4, reply.end())}};
        },
        false);
    master.port = slave.Port();
    settings.protocol = 1;
    settings.polls = {MakeTestPoll(3, 100, 2)};
    MapRegisters(settings.datamap, 100, 2);
    ASSERT_TRUE(master.Start());
    EXPECT_EQ(Until("item 101"), "state 0, state 1, sent 100, received 9, item 100, item 101");
    EXPECT_EQ(settings.datamap.Find(101)->AsUnsignedShort(), 8);
    EXPECT_EQ(slave.Requests().at(0), RtuFrame(1, Hex("03 00 64 00 02")));
}

}  // namespace
