// The Modbus TCP master against slaves written by others (pymodbus and
// libmodbus) on 127.0.0.1: the values of every standard read land in the data
// map, and what the writes send is what the slave holds afterwards, read back
// with mbpoll.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "engine/CommsSettings.h"
#include "engine/ModbusMasterEthernet.h"
#include "engine/NotificationQueue.h"
#include "engine/Notifier.h"
#include "protocol/FormatPreset.h"
#include "protocol/ModbusPacket.h"

namespace {

using Clock = std::chrono::steady_clock;

std::uint16_t FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    close(fd);
    return ntohs(address.sin_port);
}

bool Accepts(std::uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

// Starts command with fork and exec rather than posix_spawn or popen: those
// run the child on the parent's memory (vfork), which ThreadSanitizer's
// bookkeeping does not survive. With output set, the child's standard output
// goes into the pipe whose read end is returned there.
pid_t Launch(std::vector<std::string> command, int* output = nullptr) {
    std::vector<char*> argv;
    for (std::string& part : command) argv.push_back(part.data());
    argv.push_back(nullptr);
    int pipeEnds[2] = {-1, -1};
    if (output != nullptr && pipe(pipeEnds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        // A slave must not outlive a test program that dies: ctest would wait
        // for ever on the output it still holds.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (output != nullptr) {
            dup2(pipeEnds[1], STDOUT_FILENO);
            close(pipeEnds[0]);
            close(pipeEnds[1]);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    if (output != nullptr) {
        close(pipeEnds[1]);
        *output = pipeEnds[0];
    }
    return pid;
}

// A slave program started for one test and stopped by its process id.
class PeerProcess {
  public:
    PeerProcess(std::vector<std::string> command, std::uint16_t port) {
        command.push_back(std::to_string(port));
        pid = Launch(std::move(command));
        const auto until = Clock::now() + std::chrono::seconds(15);
        while (pid > 0 && !Accepts(port) && Clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~PeerProcess() {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
    }
    bool Started() const { return pid > 0; }

  private:
    pid_t pid = -1;
};

// Values mbpoll reads from the slave: table type as mbpoll names it (0 coils,
// 1 discrete inputs, 3 input registers, 4 holding registers).
std::map<int, long> ReadWithMbpoll(std::uint16_t port, int type, int start, int count) {
    std::map<int, long> values;
    int output = -1;
    const pid_t pid = Launch({"mbpoll", "-m", "tcp", "-a", "1", "-0", "-1", "-t",
                              std::to_string(type), "-r", std::to_string(start), "-c",
                              std::to_string(count), "-p", std::to_string(port), "127.0.0.1"},
                             &output);
    if (pid <= 0) return values;
    FILE* text = fdopen(output, "r");
    char line[256];
    while (text != nullptr && fgets(line, sizeof line, text) != nullptr) {
        int address = 0;
        long value = 0;
        if (std::sscanf(line, "[%d]: %ld", &address, &value) == 2) values[address] = value;
    }
    if (text != nullptr) fclose(text);
    int status = 0;
    waitpid(pid, &status, 0);
    return values;
}

Poll MakeTestPoll(std::uint8_t function, std::uint16_t start, std::uint16_t size,
                  std::int32_t preset) {
    Poll poll;
    MakePoll(function, start, size, preset, poll);
    return poll;
}

struct Peer {
    const char* name;
    std::vector<std::string> command;
};

class TcpPeer : public ::testing::TestWithParam<Peer> {
  protected:
    TcpPeer() : port(FreePort()), peer(GetParam().command, port) {
        for (std::uint32_t event = EventConnectionState; event <= EventRunEnded; ++event) {
            notifier.Register(&queue, event);
        }
        settings.pollrate = 10;
        settings.timeout = 1000;
        settings.retries = 3;
        master.host = "127.0.0.1";
        master.port = port;
    }
    ~TcpPeer() override { master.Stop(true); }

    // Runs the polls until the slave has answered `replies` of them, then stops.
    int RunUntilReplies(int replies) {
        int received = 0;
        int failures = 0;
        EXPECT_TRUE(master.Start());
        const auto until = Clock::now() + std::chrono::seconds(20);
        while (received < replies && Clock::now() < until) {
            std::optional<Notification> next = queue.Pop(50);
            if (!next) continue;
            if (next->event == EventPacketReceived) ++received;
            if (next->event == EventTimeoutRetry || next->event == EventTimeoutGiveUp) ++failures;
        }
        master.Stop(true);
        return failures;
    }

    std::uint16_t port;
    PeerProcess peer;
    Notifier notifier;
    NotificationQueue queue;
    CommsSettings settings;
    ModbusMasterEthernet master{notifier, settings};
};

TEST_P(TcpPeer, ReadsCoilsInputsAndBothRegisterTablesIntoTheDataMap) {
    ASSERT_TRUE(peer.Started());
    settings.polls = {MakeTestPoll(1, 0, 10, PresetId::Bit), MakeTestPoll(2, 20, 10, PresetId::Bit),
                      MakeTestPoll(3, 40, 4, PresetId::ShortUint),
                      MakeTestPoll(4, 60, 4, PresetId::ShortUint)};
    for (std::uint16_t a = 0; a < 10; ++a) settings.datamap.Insert(a, DataItem(DataItem::Bit));
    for (std::uint16_t a = 20; a < 30; ++a) settings.datamap.Insert(a, DataItem(DataItem::Bit));
    for (std::uint16_t a = 40; a < 44; ++a) {
        settings.datamap.Insert(a, DataItem(DataItem::UnsignedShort));
        settings.datamap.Insert(a + 20, DataItem(DataItem::UnsignedShort));
    }
    EXPECT_EQ(RunUntilReplies(8), 0) << "no timeouts";

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

TEST_P(TcpPeer, WritesCoilsAndRegistersThatTheSlaveThenHolds) {
    ASSERT_TRUE(peer.Started());
    settings.polls = {
        MakeTestPoll(5, 5, 1, PresetId::Bit), MakeTestPoll(6, 45, 1, PresetId::ShortUint),
        MakeTestPoll(15, 10, 10, PresetId::Bit), MakeTestPoll(16, 50, 3, PresetId::ShortUint)};
    settings.datamap.Insert(5, DataItem::MakeBit(true));
    settings.datamap.Insert(45, DataItem::MakeUnsignedShort(4321));
    const bool pattern[] = {1, 1, 0, 1, 0, 0, 0, 1, 1, 0};
    for (std::uint16_t i = 0; i < 10; ++i)
        settings.datamap.Insert(10 + i, DataItem::MakeBit(pattern[i]));
    settings.datamap.Insert(50, DataItem::MakeUnsignedShort(7));
    settings.datamap.Insert(51, DataItem::MakeUnsignedShort(60000));
    settings.datamap.Insert(52, DataItem::MakeUnsignedShort(258));
    EXPECT_EQ(RunUntilReplies(4), 0) << "no timeouts";

    const std::map<int, long> coil5 = ReadWithMbpoll(port, 0, 5, 1);
    EXPECT_EQ(coil5, (std::map<int, long>{{5, 1}}));
    const std::map<int, long> coils = ReadWithMbpoll(port, 0, 10, 10);
    std::map<int, long> expectedCoils;
    for (int i = 0; i < 10; ++i) expectedCoils[10 + i] = pattern[i];
    EXPECT_EQ(coils, expectedCoils);
    const std::map<int, long> registers = ReadWithMbpoll(port, 4, 45, 8);
    EXPECT_EQ(registers.at(45), 4321);
    EXPECT_EQ(registers.at(50), 7);
    EXPECT_EQ(registers.at(51), 60000);
    EXPECT_EQ(registers.at(52), 258);
}

INSTANTIATE_TEST_SUITE_P(Peers, TcpPeer,
                         ::testing::Values(Peer{"pymodbus", {"/usr/bin/python3", PYMODBUS_SERVER}},
                                           Peer{"libmodbus", {LIBMODBUS_SERVER}}),
                         [](const ::testing::TestParamInfo<Peer>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
