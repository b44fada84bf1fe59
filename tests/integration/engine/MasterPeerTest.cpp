// The masters against real peers. The TCP master (on 127.0.0.1) and the RTU
// master (on socat pty pairs) poll slaves written by others (pymodbus,
// libmodbus): every standard read lands in the data map, and every standard
// write is held by the slave afterwards, read back in the same run (over TCP
// also with mbpoll). Against the simulator on a pty pair, the float and double
// functions; against the unit tests' fake slave, a hundred and fifty dropped
// connections.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <random>
#include <thread>

#include "FakeSlave.h"
#include "MasterRig.h"
#include "PeerSlave.h"
#include "SlaveMemory.h"
#include "TraceLog.h"

namespace {

using namespace std::chrono_literals;
using Kind = PeerSlave::Kind;

// How often step occurs in steps.
std::size_t Count(const std::string& steps, const std::string& step) {
    std::size_t count = 0;
    for (std::size_t at = steps.find(step); at != std::string::npos; at = steps.find(step, at + 1))
        ++count;
    return count;
}

// Values mbpoll reads from a TCP slave: table 0 coils, 4 holding registers.
std::map<uint16_t, long> ReadWithMbpoll(uint16_t port, int table, int start, int count) {
    PeerProcess mbpoll;
    std::string line, error;
    std::map<uint16_t, long> values;
    EXPECT_TRUE(mbpoll.Start({"mbpoll", "-m", "tcp", "-a", std::to_string(kSlaveAddress), "-0",
                              "-1", "-t", std::to_string(table), "-r", std::to_string(start), "-c",
                              std::to_string(count), "-p", std::to_string(port), "127.0.0.1"},
                             error))
        << error;
    for (int address = 0; mbpoll.WaitForLine("]:", line, 5s, error);) {
        long value = 0;
        if (std::sscanf(line.c_str(), "[%d]: %ld", &address, &value) == 2)
            values[static_cast<uint16_t>(address)] = value;
    }
    return values;
}

struct Peer {
    const char* name;
    Kind kind;
    uint32_t baud;
};

class MasterAgainstPeer : public testing::TestWithParam<Peer> {};

// Reads of every table, then writes of functions 5, 6, 15, 16 into the write
// areas, then reads of the write areas: they store what the slave holds over
// the written values, so a write the slave did not carry out shows as its
// old value.
TEST_P(MasterAgainstPeer, ReadsEveryTableAndWritesWhatTheSlaveThenHolds) {
    PeerSlave slave;
    std::string error;
    ASSERT_TRUE(slave.Start(GetParam().kind, GetParam().baud, error)) << error;
    MasterRig run;
    run.settings.modbusaddress = kSlaveAddress;
    if (slave.onPty())
        run.Serial(slave.device(), GetParam().baud);
    else
        run.Tcp(slave.port());
    constexpr uint16_t c = kCoilWriteArea;
    constexpr uint16_t h = kHoldingWriteArea;
    // clang-format off
    run.settings.polls = {
        MakeTestPoll(1, 100, 10, PresetId::Bit),     MakeTestPoll(2, 0, 10, PresetId::Bit),
        MakeTestPoll(3, 30, 4),                      MakeTestPoll(4, 10, 4),
        MakeTestPoll(5, c, 1, PresetId::Bit),        MakeTestPoll(6, h, 1),
        MakeTestPoll(15, c + 10, 10, PresetId::Bit), MakeTestPoll(16, h + 2, 3),
        MakeTestPoll(1, c, 20, PresetId::Bit),       MakeTestPoll(3, h, 5)};
    // clang-format on
    // What the data map holds afterwards: what the slave held, with the writes over it.
    const SlaveMemory m = MakeSlaveMemory();
    std::map<uint16_t, long> bits, registers;
    for (uint16_t a = 0; a < 10; ++a) bits[a] = m.discrete[a];
    for (uint16_t a = 100; a < 110; ++a) bits[a] = m.coils[a];
    for (uint16_t a = c; a < c + 20; ++a) bits[a] = m.coils[a];
    for (uint16_t a = 10; a < 14; ++a) registers[a] = m.input[a];
    for (uint16_t a = 30; a < 34; ++a) registers[a] = m.holding[a];
    for (uint16_t a = h; a < h + 5; ++a) registers[a] = m.holding[a];
    std::map<uint16_t, long> written = {{c, 1}};  // an even coil: it starts off
    const bool pattern[] = {1, 1, 0, 1, 0, 0, 0, 1, 1, 0};
    for (uint16_t i = 0; i < 10; ++i) written[c + 10 + i] = pattern[i];
    for (const auto& [a, v] : written) bits[a] = v;
    for (const auto& [a, v] : bits)
        run.settings.datamap.Insert(
            a, written.count(a) ? DataItem::MakeBit(v) : DataItem(DataItem::Bit));
    const std::map<uint16_t, long> writtenRegisters = {
        {h, 4321}, {h + 2, 7}, {h + 3, 60000}, {h + 4, 258}};
    for (const auto& [a, v] : writtenRegisters) registers[a] = v;
    for (const auto& [a, v] : registers)
        run.settings.datamap.Insert(a, writtenRegisters.count(a)
                                           ? DataItem::MakeUnsignedShort(static_cast<uint16_t>(v))
                                           : DataItem(DataItem::UnsignedShort));

    const TraceLog trace;
    const int polls = static_cast<int>(run.settings.polls.size());
    EXPECT_EQ(Count(run.StartUntil("received", polls), "retry"), 0u) << "no timeouts";
    run.master->Stop(true);
    if (slave.onPty()) {
        // Every reply, of every function, ended with its CRC rather than at
        // the silence after it.
        EXPECT_EQ(trace.Count(L"Message gap - parsing\n"), 0u);
        EXPECT_GE(trace.Count(L"Message parse done\n"), run.settings.polls.size());
    }
    for (const auto& [a, v] : bits)
        EXPECT_EQ(run.settings.datamap.Find(a)->AsBit(), v == 1) << "bit " << a;
    for (const auto& [a, v] : registers)
        EXPECT_EQ(run.settings.datamap.Find(a)->AsUnsignedShort(), v) << "register " << a;
    if (slave.onPty()) return;
    std::map<uint16_t, long> coilArea, holdingArea;
    for (uint16_t a = c; a < c + 20; ++a) coilArea[a] = bits[a];
    for (uint16_t a = h; a < h + 5; ++a) holdingArea[a] = registers[a];
    EXPECT_EQ(ReadWithMbpoll(slave.port(), 0, c, 20), coilArea) << "coils as mbpoll reads them";
    EXPECT_EQ(ReadWithMbpoll(slave.port(), 4, h, 5), holdingArea)
        << "registers as mbpoll reads them";
}

INSTANTIATE_TEST_SUITE_P(Slaves, MasterAgainstPeer,
                         testing::Values(Peer{"TcpPymodbus", Kind::PymodbusTcp, 0},
                                         Peer{"TcpLibmodbus", Kind::LibmodbusTcp, 0},
                                         Peer{"RtuPymodbus9600", Kind::PymodbusRtu, 9600},
                                         Peer{"RtuLibmodbus115200", Kind::LibmodbusRtu, 115200}),
                         [](const testing::TestParamInfo<Peer>& info) {
                             return std::string(info.param.name);
                         });

// The serial master on one end of a pty pair, the simulator with `options` on
// the other (nothing serves the line when there are none).
class SerialLine : public testing::Test {
  protected:
    void Serve(const std::vector<std::string>& options) {
        std::string error;
        ASSERT_TRUE(pair.Ready()) << pair.error;
        if (!options.empty()) {
            ASSERT_TRUE(StartSimulator(simulator, pair.slaveEnd, options, error)) << error;
        }
        run.Serial(pair.masterEnd);
    }
    PtyPair pair;
    PeerProcess simulator;
    MasterRig run;
};

// One float or double per address. The written values are read back in the
// same run, over themselves.
TEST_F(SerialLine, ReadsAndWritesFloatsAndDoublesWithTheDanielFunctions) {
    Serve({"--set", "float:0-1=1.5,-2.25", "--set", "double:4-5=3.125,1e100"});
    CommsSettings& s = run.settings;
    s.polls = {MakeTestPoll(65, 0, 2, PresetId::Float),  MakeTestPoll(67, 4, 2, PresetId::Double),
               MakeTestPoll(66, 10, 2, PresetId::Float), MakeTestPoll(68, 20, 1, PresetId::Double),
               MakeTestPoll(65, 9, 3, PresetId::Float),  MakeTestPoll(67, 20, 1, PresetId::Double)};
    for (uint16_t a : {0, 1}) s.datamap.Insert(a, DataItem(DataItem::Float));
    for (uint16_t a : {4, 5}) s.datamap.Insert(a, DataItem(DataItem::Double));
    s.datamap.Insert(9, DataItem::MakeFloat(99.0f));
    s.datamap.Insert(10, DataItem::MakeFloat(6.5f));
    s.datamap.Insert(11, DataItem::MakeFloat(-0.5f));
    s.datamap.Insert(20, DataItem::MakeDouble(2.0e-3));
    const TraceLog trace;
    EXPECT_EQ(Count(run.StartUntil("received", static_cast<int>(s.polls.size())), "retry"), 0u)
        << "no timeouts";
    run.master->Stop(true);
    EXPECT_EQ(trace.Count(L"Message gap - parsing\n"), 0u) << "every reply ended with its CRC";
    EXPECT_GE(trace.Count(L"Message parse done\n"), run.settings.polls.size());
    EXPECT_EQ(s.datamap.Find(0)->AsFloat(), 1.5f);
    EXPECT_EQ(s.datamap.Find(1)->AsFloat(), -2.25f);
    EXPECT_EQ(s.datamap.Find(4)->AsDouble(), 3.125);
    EXPECT_EQ(s.datamap.Find(5)->AsDouble(), 1e100);
    EXPECT_EQ(s.datamap.Find(9)->AsFloat(), 0.0f) << "the read-back reached the slave";
    EXPECT_EQ(s.datamap.Find(10)->AsFloat(), 6.5f);
    EXPECT_EQ(s.datamap.Find(11)->AsFloat(), -0.5f);
    EXPECT_EQ(s.datamap.Find(20)->AsDouble(), 2.0e-3);
}

TEST(SerialPort, AMissingPortEndsTheRun) {
    MasterRig run;
    run.Serial("/dev/kestrom-no-such-port");
    run.settings.polls = {MakeTestPoll(3, 0, 1)};
    EXPECT_EQ(run.StartUntil("run ended"), "state 0, state 3, run ended");
    EXPECT_TRUE(run.master->WaitForEnd(2000));
    EXPECT_EQ(run.settings.connected.load(), 0);
}

long CountEntries(const char* directory) {
    return std::distance(std::filesystem::directory_iterator(directory), {});
}

// How many drops the soak below makes: 150, or KESTROM_SOAK_DROPS (make
// stress asks for a thousand).
size_t SoakDrops() {
    const char* wanted = std::getenv("KESTROM_SOAK_DROPS");
    return wanted && std::atoi(wanted) > 0 ? static_cast<size_t>(std::atoi(wanted)) : 150;
}

// A bounded soak against the unit tests' fake slave, which drops the
// connection 150 times at random points of its reply (mid-frame included):
// after every drop the master reconnects and values resume, and once it is
// stopped the process is back to the descriptors and threads it had before.
// LeakSanitizer checks at the end of the process that nothing leaked.
TEST(TcpSoak, ReconnectsAfterEveryDropAndReturnsToItsBaseline) {
    const size_t kDrops = SoakDrops();
    // Odd requests are answered whole with a value that changes; even ones get
    // a cut reply (0 to 10 of its 11 bytes) and a close.
    std::mt19937 random(20261206);
    FakeSlave slave([&random](const Bytes& request, int number) {
        Bytes reply = FakeSlave::MbapReply(
            request, {0x03, 0x02, static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number)});
        if (number % 2 == 1) return FakeSlave::Answer{{reply}};
        reply.resize(std::uniform_int_distribution<size_t>(0, reply.size() - 1)(random));
        FakeSlave::Answer cut;
        if (!reply.empty()) cut.segments.push_back(reply);
        cut.closeAfter = true;
        return cut;
    });
    const long descriptors = CountEntries("/proc/self/fd");
    const long threads = CountEntries("/proc/self/task");
    size_t values = 0;
    {
        MasterRig run;
        run.settings.timeout = 500;
        run.settings.retries = 0;
        run.settings.polls = {MakeTestPoll(3, 7, 1)};
        MapRegisters(run.settings.datamap, 7, 1);
        run.Tcp(slave.Port());
        const std::string lost = "state " + std::to_string(static_cast<int>(ConnectionState::Lost));
        values = Count(run.StartUntil(lost, static_cast<int>(kDrops)), "item");
        run.master->Stop(true);
        EXPECT_GE(values, kDrops - 1) << "values resume after every reconnection";
        EXPECT_GE(slave.Connections(), static_cast<int>(kDrops));
    }
    // The fake slave, in this process too, closes its side of the last
    // connection on its own thread: give it a moment.
    for (int wait = 0; wait < 100 && CountEntries("/proc/self/fd") != descriptors; ++wait)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(CountEntries("/proc/self/fd"), descriptors) << "no socket left open";
    EXPECT_EQ(CountEntries("/proc/self/task"), threads) << "no thread left running";
    std::printf(
        "forced disconnects: %zu drops, %zu values after reconnections, descriptors "
        "%ld -> %ld, threads %ld -> %ld\n",
        kDrops, values, descriptors, CountEntries("/proc/self/fd"), threads,
        CountEntries("/proc/self/task"));
}

}  // namespace
