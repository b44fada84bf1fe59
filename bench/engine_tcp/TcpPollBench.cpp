// Polls per second of the Modbus TCP master at pollrate 0 against a libmodbus
// slave, side by side with a plain libmodbus client loop against the same
// slave, reading 10 and 100 registers. The ratio master/libmodbus is what to
// watch: the master adds a timer tick, a notification and a decode per poll.
#include <benchmark/benchmark.h>
#include <modbus.h>

#include <atomic>
#include <cerrno>
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

BENCHMARK(LibmodbusClient)->Arg(10)->Arg(100)->UseRealTime()->MinTime(2.0);
BENCHMARK(KestromMaster)->Arg(10)->Arg(100)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
