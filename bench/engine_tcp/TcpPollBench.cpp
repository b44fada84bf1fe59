// Polls per second of the Modbus TCP master at pollrate 0 against a libmodbus
// slave, side by side with a plain libmodbus client loop against the same
// kind of slave: 10, 100 and 125 holding registers and 2000 coils, with MBAP
// framing and with RTU frames over TCP. The ratio master/libmodbus is what to
// watch: the master adds a timer tick, a notification and a decode per poll.
// Run the two side by side with repetitions and random interleaving, e.g.
//   engine_tcp_bench --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <modbus.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "bench/LibmodbusSlave.h"
#include "engine/CommsSettings.h"
#include "engine/ModbusMasterEthernet.h"
#include "engine/NotificationQueue.h"
#include "engine/Notifier.h"
#include "protocol/FormatPreset.h"
#include "protocol/ModbusPacket.h"

namespace {

constexpr int kSlaveAddress = LibmodbusSlave::kAddress;

// What one benchmark polls: range(0) picks the framing, range(1) the shape.
struct Shape {
    bool coils;
    int count;
};
constexpr Shape kShapes[] = {{false, 10}, {false, 100}, {false, 125}, {true, 2000}};
constexpr bool kRtuFraming[] = {false, true};

const Shape& ShapeOf(const benchmark::State& state) {
    return kShapes[static_cast<std::size_t>(state.range(1))];
}
bool RtuOf(const benchmark::State& state) {
    return kRtuFraming[static_cast<std::size_t>(state.range(0))];
}

void Label(benchmark::State& state) {
    const Shape& shape = ShapeOf(state);
    state.SetLabel(std::string(RtuOf(state) ? "RTU over TCP, " : "MBAP, ") +
                   std::to_string(shape.count) + (shape.coils ? " coils" : " registers"));
}

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The process's CPU time per poll, the slave's share included: what a poll
// costs the machine, which decides the rate when other programs want the
// processors too.
void CountCpu(benchmark::State& state, double cpuBefore) {
    state.counters["cpu us/poll"] = 1e6 * (ProcessCpuSeconds() - cpuBefore) /
                                    static_cast<double>(std::max<std::int64_t>(state.iterations(), 1));
}

void LibmodbusClient(benchmark::State& state) {
    const Shape& shape = ShapeOf(state);
    LibmodbusSlave slave(RtuOf(state));
    const int socket = LibmodbusSlave::Connect(slave.Port());
    if (socket < 0) {
        state.SkipWithError("libmodbus client cannot connect");
        return;
    }
    modbus_t* client = LibmodbusSlave::ContextOn(socket, RtuOf(state));
    std::uint16_t registers[200];
    std::uint8_t coils[2000];
    const double cpuBefore = ProcessCpuSeconds();
    for (auto _ : state) {
        const int got = shape.coils ? modbus_read_bits(client, 0, shape.count, coils)
                                    : modbus_read_registers(client, 0, shape.count, registers);
        if (got != shape.count) {
            state.SkipWithError("read failed");
            break;
        }
    }
    CountCpu(state, cpuBefore);
    close(socket);
    modbus_free(client);
    state.counters["polls/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    Label(state);
}

void KestromMaster(benchmark::State& state) {
    const Shape& shape = ShapeOf(state);
    LibmodbusSlave slave(RtuOf(state));
    Notifier notifier;
    NotificationQueue queue;
    notifier.Register(&queue, EventPacketReceived);
    CommsSettings settings;
    settings.pollrate = 0;
    settings.protocol = RtuOf(state) ? 1 : 0;
    settings.modbusaddress = kSlaveAddress;
    Poll poll;
    MakePoll(shape.coils ? 1 : 3, 0, static_cast<std::uint16_t>(shape.count),
             shape.coils ? PresetId::Bit : PresetId::ShortUint, poll);
    settings.polls = {poll};
    ModbusMasterEthernet master(notifier, settings);
    master.host = "127.0.0.1";
    master.port = static_cast<std::uint16_t>(slave.Port());
    master.Start();
    queue.Pop(2000);  // connected and polling
    const double cpuBefore = ProcessCpuSeconds();
    for (auto _ : state) {
        if (!queue.Pop(2000)) {
            state.SkipWithError("no reply within 2 s");
            break;
        }
    }
    CountCpu(state, cpuBefore);
    master.Stop(true);
    state.counters["polls/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    Label(state);
}


// The master's CPU use while it polls once a second: the process's CPU time
// over the run (the slave's share included) divided by the wall time.
void KestromMasterIdleCpu(benchmark::State& state) {
    LibmodbusSlave slave(false);
    Notifier notifier;
    NotificationQueue queue;
    notifier.Register(&queue, EventPacketReceived);
    CommsSettings settings;
    settings.pollrate = 1000;
    Poll poll;
    MakePoll(3, 0, 10, PresetId::ShortUint, poll);
    settings.polls = {poll};
    ModbusMasterEthernet master(notifier, settings);
    master.host = "127.0.0.1";
    master.port = static_cast<std::uint16_t>(slave.Port());
    master.Start();
    queue.Pop(2000);  // connected and polling
    const double cpuBefore = ProcessCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (!queue.Pop(2000)) {
            state.SkipWithError("no reply within 2 s");
            break;
        }
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    state.counters["cpu%"] = 100.0 * (ProcessCpuSeconds() - cpuBefore) / wall;
    master.Stop(true);
}

BENCHMARK(LibmodbusClient)
    ->ArgsProduct({{0, 1}, {0, 1, 2, 3}})
    ->ArgNames({"rtu", "shape"})
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK(KestromMaster)
    ->ArgsProduct({{0, 1}, {0, 1, 2, 3}})
    ->ArgNames({"rtu", "shape"})
    ->UseRealTime()
    ->MinTime(2.0);
BENCHMARK(KestromMasterIdleCpu)->Iterations(5)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
