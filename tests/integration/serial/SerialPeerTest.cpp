// The Modbus RTU master over socat pty pairs: against slaves written by others
// (pymodbus, libmodbus) every standard read lands in the data map and every
// standard write is held by the slave afterwards; against the simulator the
// float and double functions and the faults a serial line brings.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "PtyPeers.h"
#include "engine/CommsSettings.h"
#include "engine/ModbusMasterSerial.h"
#include "engine/NotificationQueue.h"
#include "engine/Notifier.h"
#include "protocol/DebugTrace.h"
#include "protocol/FormatPreset.h"
#include "protocol/ModbusPacket.h"

namespace {

using Clock = std::chrono::steady_clock;
using Steps = std::vector<std::string>;

Poll MakeTestPoll(std::uint8_t function, std::uint16_t start, std::uint16_t size,
                  std::int32_t preset) {
    Poll poll;
    MakePoll(function, start, size, preset, poll);
    return poll;
}

std::mutex traceLock;
std::vector<std::wstring> traceLines;
void CollectTrace(const wchar_t* line) {
    std::lock_guard guard(traceLock);
    traceLines.push_back(line);
}

struct Event {
    std::string step;
    Clock::time_point at;
    std::size_t bytes = 0;
};

// The master on the master end of a pty pair.
class SerialRun {
  public:
    explicit SerialRun(const std::string& device, std::uint32_t baud = 9600) {
        for (std::uint32_t event = EventConnectionState; event <= EventRunEnded; ++event) {
            notifier.Register(&queue, event);
        }
        settings.protocol = 1;
        settings.pollrate = 0;
        settings.timeout = 1000;
        settings.retries = 3;
        master.line.devicePath = device;
        master.line.baud = baud;
    }
    ~SerialRun() { master.Stop(true); }

    static std::string Describe(const Notification& n) {
        switch (n.event) {
            case EventConnectionState:
                return "state " + std::to_string(n.wParam);
            case EventItemChanged:
                return "item";
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

    // Events (item events left out) until the count-th one described as last.
    std::vector<Event> Until(const std::string& last, int count = 1, int timeoutMs = 20000) {
        std::vector<Event> events;
        const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (count > 0 && Clock::now() < until) {
            std::optional<Notification> next = queue.Pop(20);
            if (!next) continue;
            Event event{Describe(*next), Clock::now(),
                        next->packet ? next->packet->bytes.size() : 0};
            if (event.step == "item") continue;
            events.push_back(event);
            if (event.step == last) --count;
        }
        EXPECT_EQ(count, 0) << "\"" << last << "\" missing after " << timeoutMs << " ms";
        return events;
    }

    // Runs the polls once each (pollrate 0) and stops; the number of retries
    // and give-ups seen.
    int RunEachPollOnce() {
        EXPECT_TRUE(master.Start());
        int failures = 0;
        int replies = 0;
        const auto until = Clock::now() + std::chrono::seconds(30);
        while (replies < static_cast<int>(settings.polls.size()) && Clock::now() < until) {
            std::optional<Notification> next = queue.Pop(20);
            if (!next) continue;
            if (next->event == EventPacketReceived) ++replies;
            if (next->event == EventTimeoutRetry || next->event == EventTimeoutGiveUp) ++failures;
        }
        master.Stop(true);
        while (queue.Pop(0)) {
        }
        EXPECT_EQ(replies, static_cast<int>(settings.polls.size())) << "replies";
        return failures;
    }

    Notifier notifier;
    NotificationQueue queue;
    CommsSettings settings;
    ModbusMasterSerial master{notifier, settings};
};

Steps StepsOf(const std::vector<Event>& events) {
    Steps steps;
    for (const Event& event : events) steps.push_back(event.step);
    return steps;
}

long Ms(Clock::time_point from, Clock::time_point to) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count());
}

struct Peer {
    const char* name;
    std::vector<std::string> command;  // the device and the baud rate follow
    std::uint32_t baud;
};

class SerialPeer : public ::testing::TestWithParam<Peer> {
  protected:
    SerialPeer() {
        if (!pair.Ready()) return;
        std::vector<std::string> command = GetParam().command;
        command.push_back(pair.slaveEnd);
        command.push_back(std::to_string(GetParam().baud));
        peer.emplace(command);
        serving = peer->Started() && peer->WaitUntilHolding(pair.slaveEnd, 15000);
    }

    PtyPair pair;
    std::optional<PeerProcess> peer;
    bool serving = false;
};

TEST_P(SerialPeer, ReadsCoilsInputsAndBothRegisterTablesIntoTheDataMap) {
    ASSERT_TRUE(serving) << GetParam().name << " on " << pair.slaveEnd;
    SerialRun run(pair.masterEnd, GetParam().baud);
    CommsSettings& settings = run.settings;
    settings.polls = {MakeTestPoll(1, 0, 10, PresetId::Bit), MakeTestPoll(2, 20, 10, PresetId::Bit),
                      MakeTestPoll(3, 40, 4, PresetId::ShortUint),
                      MakeTestPoll(4, 60, 4, PresetId::ShortUint)};
    for (std::uint16_t a = 0; a < 10; ++a) {
        settings.datamap.Insert(a, DataItem(DataItem::Bit));
        settings.datamap.Insert(20 + a, DataItem(DataItem::Bit));
    }
    for (std::uint16_t a = 40; a < 44; ++a) {
        settings.datamap.Insert(a, DataItem(DataItem::UnsignedShort));
        settings.datamap.Insert(a + 20, DataItem(DataItem::UnsignedShort));
    }
    EXPECT_EQ(run.RunEachPollOnce(), 0) << "no timeouts";

    const int coils[] = {1, 0, 1, 1, 0, 0, 1, 0, 1, 1};
    const int inputs[] = {0, 1, 1, 0, 1, 0, 0, 0, 1, 1};
    for (std::uint16_t i = 0; i < 10; ++i) {
        EXPECT_EQ(settings.datamap.Find(i)->AsBit(), coils[i] == 1) << "coil " << i;
        EXPECT_EQ(settings.datamap.Find(20 + i)->AsBit(), inputs[i] == 1) << "input " << 20 + i;
    }
    const std::uint16_t holding[] = {1234, 5678, 9, 65535};
    const std::uint16_t inputRegisters[] = {11, 22, 33, 44};
    for (std::uint16_t i = 0; i < 4; ++i) {
        EXPECT_EQ(settings.datamap.Find(40 + i)->AsUnsignedShort(), holding[i]) << 40 + i;
        EXPECT_EQ(settings.datamap.Find(60 + i)->AsUnsignedShort(), inputRegisters[i]) << 60 + i;
    }
}

// The writes are read back in the same run: the reads that follow them store
// what the slave holds over the written values, so a write the slave did not
// carry out shows as the slave's old value.
TEST_P(SerialPeer, WritesCoilsAndRegistersThatTheSlaveThenHolds) {
    ASSERT_TRUE(serving) << GetParam().name << " on " << pair.slaveEnd;
    const bool pattern[] = {1, 1, 0, 1, 0, 0, 0, 1, 1, 0};
    SerialRun run(pair.masterEnd, GetParam().baud);
    CommsSettings& settings = run.settings;
    settings.polls = {
        MakeTestPoll(5, 5, 1, PresetId::Bit),    MakeTestPoll(6, 45, 1, PresetId::ShortUint),
        MakeTestPoll(15, 10, 10, PresetId::Bit), MakeTestPoll(16, 50, 3, PresetId::ShortUint),
        MakeTestPoll(1, 5, 15, PresetId::Bit),   MakeTestPoll(3, 45, 8, PresetId::ShortUint)};
    for (std::uint16_t a = 5; a < 20; ++a) settings.datamap.Insert(a, DataItem(DataItem::Bit));
    for (std::uint16_t a = 45; a < 53; ++a)
        settings.datamap.Insert(a, DataItem(DataItem::UnsignedShort));
    settings.datamap.UpdateItem(5, DataItem::MakeBit(true));
    settings.datamap.UpdateItem(45, DataItem::MakeUnsignedShort(4321));
    for (std::uint16_t i = 0; i < 10; ++i)
        settings.datamap.UpdateItem(10 + i, DataItem::MakeBit(pattern[i]));
    settings.datamap.UpdateItem(50, DataItem::MakeUnsignedShort(7));
    settings.datamap.UpdateItem(51, DataItem::MakeUnsignedShort(60000));
    settings.datamap.UpdateItem(52, DataItem::MakeUnsignedShort(258));
    EXPECT_EQ(run.RunEachPollOnce(), 0) << "no timeouts";

    EXPECT_TRUE(settings.datamap.Find(5)->AsBit()) << "coil 5";
    for (std::uint16_t i = 0; i < 10; ++i)
        EXPECT_EQ(settings.datamap.Find(10 + i)->AsBit(), pattern[i]) << "coil " << 10 + i;
    EXPECT_EQ(settings.datamap.Find(45)->AsUnsignedShort(), 4321);
    EXPECT_EQ(settings.datamap.Find(50)->AsUnsignedShort(), 7);
    EXPECT_EQ(settings.datamap.Find(51)->AsUnsignedShort(), 60000);
    EXPECT_EQ(settings.datamap.Find(52)->AsUnsignedShort(), 258);
}

// The simulator takes its device and speed as options; the shell puts them
// where the other peers' "DEVICE BAUD" arguments are.
const std::vector<std::string> kSimulator = {
    "/bin/sh", "-c",
    "exec \"$0\" --quiet --set coil:0-9=1,0,1,1,0,0,1,0,1,1 --set di:20-29=0,1,1,0,1,0,0,0,1,1 "
    "--set hr:40-43=1234,5678,9,65535 --set ir:60-63=11,22,33,44 --serial \"$1\" --baud \"$2\"",
    SIMULATOR};

INSTANTIATE_TEST_SUITE_P(
    Slaves, SerialPeer,
    ::testing::Values(Peer{"pymodbus_9600", {"/usr/bin/python3", PYMODBUS_SERVER}, 9600},
                      Peer{"pymodbus_115200", {"/usr/bin/python3", PYMODBUS_SERVER}, 115200},
                      Peer{"libmodbus_9600", {LIBMODBUS_SERVER}, 9600},
                      Peer{"libmodbus_115200", {LIBMODBUS_SERVER}, 115200},
                      Peer{"simulator_9600", kSimulator, 9600}),
    [](const ::testing::TestParamInfo<Peer>& info) { return std::string(info.param.name); });

// The simulator on the slave end of a pair, with extra options.
class Simulator {
  public:
    Simulator(const std::string& device, std::vector<std::string> options) {
        std::vector<std::string> command = {SIMULATOR, "--quiet", "--serial", device};
        command.insert(command.end(), options.begin(), options.end());
        process.emplace(command);
        serving = process->Started() && process->WaitUntilHolding(device, 15000);
    }
    std::optional<PeerProcess> process;
    bool serving = false;
};

// The Daniel tables hold one float or double per address. The written values
// are read back in the same run, over themselves.
TEST(SerialSimulator, ReadsAndWritesFloatsAndDoublesWithTheDanielFunctions) {
    PtyPair pair;
    ASSERT_TRUE(pair.Ready());
    Simulator sim(pair.slaveEnd,
                  {"--set", "float:0-1=1.5,-2.25", "--set", "double:4-5=3.125,1e100"});
    ASSERT_TRUE(sim.serving);
    SerialRun run(pair.masterEnd);
    CommsSettings& settings = run.settings;
    settings.polls = {
        MakeTestPoll(65, 0, 2, PresetId::Float),  MakeTestPoll(67, 4, 2, PresetId::Double),
        MakeTestPoll(66, 10, 2, PresetId::Float), MakeTestPoll(68, 20, 1, PresetId::Double),
        MakeTestPoll(65, 9, 3, PresetId::Float),  MakeTestPoll(67, 20, 1, PresetId::Double)};
    for (std::uint16_t a : {0, 1, 9}) settings.datamap.Insert(a, DataItem(DataItem::Float));
    for (std::uint16_t a : {4, 5}) settings.datamap.Insert(a, DataItem(DataItem::Double));
    settings.datamap.Insert(10, DataItem::MakeFloat(6.5f));
    settings.datamap.Insert(11, DataItem::MakeFloat(-0.5f));
    settings.datamap.Insert(20, DataItem::MakeDouble(2.0e-3));
    settings.datamap.Insert(9, DataItem::MakeFloat(99.0f));
    EXPECT_EQ(run.RunEachPollOnce(), 0) << "no timeouts";
    EXPECT_EQ(settings.datamap.Find(0)->AsFloat(), 1.5f);
    EXPECT_EQ(settings.datamap.Find(1)->AsFloat(), -2.25f);
    EXPECT_EQ(settings.datamap.Find(4)->AsDouble(), 3.125);
    EXPECT_EQ(settings.datamap.Find(5)->AsDouble(), 1e100);
    EXPECT_EQ(settings.datamap.Find(9)->AsFloat(), 0.0f) << "the read-back reached the slave";
    EXPECT_EQ(settings.datamap.Find(10)->AsFloat(), 6.5f);
    EXPECT_EQ(settings.datamap.Find(11)->AsFloat(), -0.5f);
    EXPECT_EQ(settings.datamap.Find(20)->AsDouble(), 2.0e-3);
}

TEST(SerialSimulator, ShowsFiveBytesOfANineByteReplyAtTheGapAndPollsOnAfterThePollRate) {
    PtyPair pair;
    ASSERT_TRUE(pair.Ready());
    Simulator sim(pair.slaveEnd, {"--set", "hr:0-1=10,20", "--fault", "truncate=5"});
    ASSERT_TRUE(sim.serving);
    SerialRun run(pair.masterEnd);
    run.settings.pollrate = 300;
    run.settings.polls = {MakeTestPoll(3, 0, 2, PresetId::ShortUint)};
    run.settings.datamap.Insert(0, DataItem(DataItem::UnsignedShort));
    ASSERT_TRUE(run.master.Start());
    const std::vector<Event> events = run.Until("sent 0", 2);
    EXPECT_EQ(StepsOf(events), (Steps{"state 0", "state 1", "sent 0", "received 5", "sent 0"}))
        << "the cut reply is the answer: no retry";
    EXPECT_EQ(events[3].bytes, 5u);
    EXPECT_GE(Ms(events[2].at, events[3].at), 190) << "ended by the 200 ms gap";
    EXPECT_GE(Ms(events[3].at, events[4].at), 280) << "the next poll follows the poll rate";
    EXPECT_EQ(run.settings.datamap.Find(0)->AsUnsignedShort(), 0) << "a cut reply stores nothing";
}

// A timeout shorter than the reply takes to arrive: the tick neither cuts the
// reply off nor sends into the line while the read is outstanding.
TEST(SerialSimulator, TakesAReplyThatIsStillTricklingInWhenTheTimeoutFalls) {
    PtyPair pair;
    ASSERT_TRUE(pair.Ready());
    Simulator sim(pair.slaveEnd, {"--set", "hr:0-1=10,20", "--fault", "trickle=40"});
    ASSERT_TRUE(sim.serving);
    SerialRun run(pair.masterEnd);
    run.settings.timeout = 100;
    run.settings.pollrate = 50;
    run.settings.polls = {MakeTestPoll(3, 0, 2, PresetId::ShortUint)};
    run.settings.datamap.Insert(1, DataItem(DataItem::UnsignedShort));
    ASSERT_TRUE(run.master.Start());
    EXPECT_EQ(StepsOf(run.Until("received 9", 2)),
              (Steps{"state 0", "state 1", "sent 0", "received 9", "sent 0", "received 9"}))
        << "no retry, no request while the reply arrives";
    EXPECT_EQ(run.settings.datamap.Find(1)->AsUnsignedShort(), 20);
}

TEST(SerialSimulator, ParsesMbapFramingOverTheLineToMessageDoneWithoutAGap) {
    PtyPair pair;
    ASSERT_TRUE(pair.Ready());
    Simulator sim(pair.slaveEnd, {"--framing", "tcp", "--set", "hr:7=77"});
    ASSERT_TRUE(sim.serving);
    {
        std::lock_guard guard(traceLock);
        traceLines.clear();
    }
    DebugTrace::Sink previous = DebugTrace::SetSink(&CollectTrace);
    SerialRun run(pair.masterEnd);
    run.settings.protocol = 0;
    run.settings.polls = {MakeTestPoll(3, 7, 1, PresetId::ShortUint)};
    run.settings.datamap.Insert(7, DataItem(DataItem::UnsignedShort));
    ASSERT_TRUE(run.master.Start());
    const std::vector<Event> events = run.Until("received 11");
    run.master.Stop(true);
    DebugTrace::SetSink(previous);
    EXPECT_EQ(StepsOf(events), (Steps{"state 0", "state 1", "sent 7", "received 11"}));
    EXPECT_LT(Ms(events[2].at, events[3].at), 150) << "no 200 ms gap after message done";
    EXPECT_EQ(run.settings.datamap.Find(7)->AsUnsignedShort(), 77);
    std::lock_guard guard(traceLock);
    EXPECT_NE(std::find(traceLines.begin(), traceLines.end(), L"Message parse done\n"),
              traceLines.end());
}

TEST(SerialSimulator, CountsAMissingSlaveAgainstRetriesWithRequestsATimeoutApart) {
    PtyPair pair;  // nothing serves the slave end
    ASSERT_TRUE(pair.Ready());
    SerialRun run(pair.masterEnd);
    run.settings.timeout = 400;
    run.settings.polls = {MakeTestPoll(3, 0, 1, PresetId::ShortUint),
                          MakeTestPoll(3, 9, 1, PresetId::ShortUint)};
    ASSERT_TRUE(run.master.Start());
    const std::vector<Event> events = run.Until("sent 9");
    EXPECT_EQ(StepsOf(events), (Steps{"state 0", "state 1", "sent 0", "retry", "sent 0", "retry",
                                      "sent 0", "give up", "sent 9"}));
    for (std::size_t sent : {4u, 6u, 8u}) {
        EXPECT_GE(Ms(events[sent - 2].at, events[sent].at), 380) << "request " << sent;
        EXPECT_LT(Ms(events[sent - 2].at, events[sent].at), 700) << "request " << sent;
    }
}

TEST(SerialSimulator, EndsTheRunWhenThePortIsMissing) {
    SerialRun run("/dev/kestrom-no-such-port");
    run.settings.polls = {MakeTestPoll(3, 0, 1, PresetId::ShortUint)};
    ASSERT_TRUE(run.master.Start());
    EXPECT_EQ(StepsOf(run.Until("run ended")), (Steps{"state 0", "state 3", "run ended"}));
    EXPECT_TRUE(run.master.WaitForEnd(2000));
    EXPECT_EQ(run.settings.connected.load(), 0);
}

TEST(SerialSimulator, AnswersFromAnotherSlaveAddressAreNotTaken) {
    PtyPair pair;
    ASSERT_TRUE(pair.Ready());
    Simulator sim(pair.slaveEnd, {"--unit", "1", "--set", "hr:0=5", "--fault", "bad-unit"});
    ASSERT_TRUE(sim.serving);
    SerialRun run(pair.masterEnd);
    run.settings.timeout = 500;
    run.settings.retries = 2;
    run.settings.polls = {MakeTestPoll(3, 0, 1, PresetId::ShortUint)};
    run.settings.datamap.Insert(0, DataItem(DataItem::UnsignedShort));
    ASSERT_TRUE(run.master.Start());
    EXPECT_EQ(StepsOf(run.Until("give up")), (Steps{"state 0", "state 1", "sent 0", "received 7",
                                                    "retry", "sent 0", "received 7", "give up"}));
    EXPECT_EQ(run.settings.datamap.Find(0)->AsUnsignedShort(), 0);
}

}  // namespace
