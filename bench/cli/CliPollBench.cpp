// Polls per second of kestrom-master-cli at poll rate 0, printing every row
// into a pipe that another program reads (as `kestrom-master-cli p.xmb | ...`
// does), beside the same master polling in-process with every event taken
// and dropped unprinted, and beside a libmodbus client loop. All three poll
// the same kind of libmodbus slave, which counts the requests it answers; the
// rate is taken over a window after the start. Printing should cost the
// master no more than a tenth of its rate. Run side by side:
//   cli_bench --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <modbus.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/LibmodbusSlave.h"
#include "document/ProjectFile.h"
#include "engine/CommsSettings.h"
#include "engine/ModbusMasterEthernet.h"
#include "engine/NotificationQueue.h"
#include "engine/Notifier.h"
#include "protocol/FormatPreset.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kSettle = 500ms;  // after the first request, before the window
constexpr auto kWindow = 2s;

struct Shape {
    bool coils;
    int count;
};
constexpr Shape kShapes[] = {{false, 10}, {false, 125}, {true, 2000}};

const Shape& ShapeOf(const benchmark::State& state) {
    return kShapes[static_cast<std::size_t>(state.range(0))];
}

Poll PollOf(const Shape& shape) {
    Poll poll;
    MakePoll(shape.coils ? 1 : 3, 0, static_cast<std::uint16_t>(shape.count),
             shape.coils ? PresetId::Bit : PresetId::ShortUint, poll);
    return poll;
}

// Requests the slave answered per second over the window that starts
// kSettle after the first one.
double MeasureRate(const LibmodbusSlave& slave) {
    for (const auto until = Clock::now() + 10s; slave.Answered() == 0 && Clock::now() < until;)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(kSettle);
    const long first = slave.Answered();
    const auto start = Clock::now();
    std::this_thread::sleep_for(kWindow);
    const long last = slave.Answered();
    return static_cast<double>(last - first) /
           std::chrono::duration<double>(Clock::now() - start).count();
}

std::string WriteProject(const Shape& shape, int port) {
    ProjectSetup setup;
    setup.host = "127.0.0.1";
    setup.port = static_cast<std::uint16_t>(port);
    setup.pollrate = 0;
    setup.polls = {PollOf(shape)};
    const auto path = std::filesystem::temp_directory_path() /
                      ("kestrom-cli-bench-" + std::to_string(getpid()) + ".xmb");
    SaveProject(path.wstring(), setup);
    return path.string();
}

// The program with its standard output into a pipe that a thread reads and
// drops, as a program reading the rows would.
class CliRun {
  public:
    explicit CliRun(const std::string& project) {
        int pipeFds[2];
        if (pipe(pipeFds) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        std::vector<std::string> args = {KESTROM_CLI, "--no-web", "--seconds", "60", project};
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid, KESTROM_CLI, &actions, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(pipeFds[1]);
        reader = std::thread([fd = pipeFds[0], this] {
            char buffer[65536];
            for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) bytes += n;
            close(fd);
        });
    }
    ~CliRun() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            int status = 0;
            waitpid(pid, &status, 0);
        }
        if (reader.joinable()) reader.join();
    }
    bool Started() const { return pid > 0; }
    long Bytes() const { return bytes.load(); }

  private:
    pid_t pid = -1;
    std::atomic<long> bytes{0};
    std::thread reader;
};

void Report(benchmark::State& state, double rate) {
    state.counters["polls/s"] = rate;
    const Shape& shape = ShapeOf(state);
    state.SetLabel(std::to_string(shape.count) + (shape.coils ? " coils" : " registers"));
}

void CliPrintingRows(benchmark::State& state) {
    for (auto _ : state) {
        LibmodbusSlave slave;
        const std::string project = WriteProject(ShapeOf(state), slave.Port());
        CliRun cli(project);
        if (!cli.Started()) state.SkipWithError("kestrom-master-cli did not start");
        const double rate = MeasureRate(slave);
        if (cli.Bytes() == 0) state.SkipWithError("no rows came through the pipe");
        Report(state, rate);
        std::filesystem::remove(project);
    }
}

// What the program's main loop does but print: every event it registers for
// is taken off the queue, and its packet freed, on another thread.
void MasterWithoutPrinting(benchmark::State& state) {
    for (auto _ : state) {
        LibmodbusSlave slave;
        Notifier notifier;
        NotificationQueue queue;
        for (std::uint32_t event :
             {EventConnectionState, EventItemChanged, EventPacketSent, EventPacketReceived,
              EventTimeoutRetry, EventTimeoutGiveUp, EventRunEnded})
            notifier.Register(&queue, event);
        CommsSettings settings;
        settings.pollrate = 0;
        settings.polls = {PollOf(ShapeOf(state))};
        ModbusMasterEthernet master(notifier, settings);
        master.host = "127.0.0.1";
        master.port = static_cast<std::uint16_t>(slave.Port());
        std::atomic<bool> done{false};
        std::thread consumer([&] {
            while (!done) queue.Pop(50);
        });
        master.Start();
        Report(state, MeasureRate(slave));
        master.Stop(true);
        done = true;
        consumer.join();
    }
}

void LibmodbusClient(benchmark::State& state) {
    const Shape& shape = ShapeOf(state);
    for (auto _ : state) {
        LibmodbusSlave slave;
        std::atomic<bool> done{false};
        std::thread client([&] {
            modbus_t* context = modbus_new_tcp("127.0.0.1", slave.Port());
            if (modbus_connect(context) != 0) return;
            std::uint16_t registers[200];
            std::uint8_t coils[2000];
            while (!done) {
                if (shape.coils)
                    modbus_read_bits(context, 0, shape.count, coils);
                else
                    modbus_read_registers(context, 0, shape.count, registers);
            }
            modbus_close(context);
            modbus_free(context);
        });
        Report(state, MeasureRate(slave));
        done = true;
        client.join();
    }
}

BENCHMARK(CliPrintingRows)->DenseRange(0, 2)->Iterations(1)->UseRealTime();
BENCHMARK(MasterWithoutPrinting)->DenseRange(0, 2)->Iterations(1)->UseRealTime();
BENCHMARK(LibmodbusClient)->DenseRange(0, 2)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
