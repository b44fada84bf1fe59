// Polls per second of the Modbus TCP master at pollrate 0 against a libmodbus
// slave, side by side with a plain libmodbus client loop against the same
// slave, reading 10 and 100 registers. The ratio master/libmodbus is what to
// watch: the master adds a timer tick, a notification and a decode per poll.
#include <benchmark/benchmark.h>
#include <modbus.h>
#include <sys/resource.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "engine/CommsSettings.h"
#include "engine/ModbusMasterEthernet.h"
#include "engine/NotificationQueue.h"
#include "engine/Notifier.h"
#include "protocol/FormatPreset.h"
#include "protocol/ModbusPacket.h"

namespace {

// A libmodbus slave on 127.0.0.1 serving one connection after another.
class Slave {
  public:
    Slave() : context(modbus_new_tcp("127.0.0.1", 0)), map(modbus_mapping_new(0, 0, 200, 0)) {
        // Port 0 is not accepted by modbus_tcp_listen on every version: take
        // a fixed high port and move on while it is taken.
        for (port = 41500; port < 41600; ++port) {
            modbus_free(context);
            context = modbus_new_tcp("127.0.0.1", port);
            listener = modbus_tcp_listen(context, 1);
            if (listener >= 0) break;
        }
        thread = std::thread([this] { Serve(); });
    }
    ~Slave() {
        stopping = true;
        // Wake the accept or receive with a connection that closes at once.
        modbus_t* waker = modbus_new_tcp("127.0.0.1", port);
        modbus_connect(waker);
        modbus_close(waker);
        modbus_free(waker);
        thread.join();
        modbus_mapping_free(map);
        modbus_free(context);
    }
    int Port() const { return port; }

  private:
    void Serve() {
        while (!stopping) {
            if (modbus_tcp_accept(context, &listener) < 0) return;
            std::uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
            for (;;) {
                const int length = modbus_receive(context, query);
                if (length > 0) {
                    modbus_reply(context, query, length, map);
                } else if (length == -1) {
                    break;
                }
            }
            modbus_close(context);
        }
    }

    modbus_t* context;
    modbus_mapping_t* map;
    int listener = -1;
    int port = 0;
    std::atomic<bool> stopping{false};
    std::thread thread;
};

void LibmodbusClient(benchmark::State& state) {
    Slave slave;
    modbus_t* client = modbus_new_tcp("127.0.0.1", slave.Port());
    if (modbus_connect(client) != 0) {
        state.SkipWithError("libmodbus client cannot connect");
        return;
    }
    std::uint16_t registers[200];
    const int count = static_cast<int>(state.range(0));
    for (auto _ : state) {
        if (modbus_read_registers(client, 0, count, registers) != count) {
            state.SkipWithError("read failed");
            break;
        }
    }
    modbus_close(client);
    modbus_free(client);
    state.counters["polls/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void KestromMaster(benchmark::State& state) {
    Slave slave;
    Notifier notifier;
    NotificationQueue queue;
    notifier.Register(&queue, EventPacketReceived);
    CommsSettings settings;
    settings.pollrate = 0;
    Poll poll;
    MakePoll(3, 0, static_cast<std::uint16_t>(state.range(0)), PresetId::ShortUint, poll);
    settings.polls = {poll};
    ModbusMasterEthernet master(notifier, settings);
    master.host = "127.0.0.1";
    master.port = static_cast<std::uint16_t>(slave.Port());
    master.Start();
    for (auto _ : state) {
        if (!queue.Pop(2000)) {
            state.SkipWithError("no reply within 2 s");
            break;
        }
    }
    master.Stop(true);
    state.counters["polls/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The master's CPU use while it polls once a second: the process's CPU time
// over the run (the slave's share included) divided by the wall time.
void KestromMasterIdleCpu(benchmark::State& state) {
    Slave slave;
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

BENCHMARK(LibmodbusClient)->Arg(10)->Arg(100)->UseRealTime()->MinTime(2.0);
BENCHMARK(KestromMaster)->Arg(10)->Arg(100)->UseRealTime()->MinTime(2.0);
BENCHMARK(KestromMasterIdleCpu)->Iterations(5)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
