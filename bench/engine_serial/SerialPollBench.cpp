// Exchanges per second of the Modbus RTU master at pollrate 0 over a socat pty
// pair against a libmodbus RTU slave, side by side with a plain libmodbus RTU
// client loop against the same slave, reading 10 registers. Both end a reply
// by its length (the master once the CRC of the whole frame checks), so the
// ratio master/libmodbus is what to watch. A pty has no wire time: on a real
// line the bytes' time on the wire dominates both. Run the two side by side:
//   engine_serial_bench --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
#include <benchmark/benchmark.h>
#include <modbus.h>

#include <atomic>
#include <memory>
#include <thread>

#include "PeerProcess.h"
#include "engine/CommsSettings.h"
#include "engine/ModbusMasterSerial.h"
#include "engine/NotificationQueue.h"
#include "engine/Notifier.h"
#include "protocol/FormatPreset.h"
#include "protocol/ModbusPacket.h"

namespace {

constexpr int kBaud = 115200;

// A libmodbus RTU slave on the slave end of the pair, on its own thread.
class Slave {
  public:
    explicit Slave(const std::string& device)
        : context(modbus_new_rtu(device.c_str(), kBaud, 'N', 8, 1)),
          map(modbus_mapping_new(0, 0, 200, 0)) {
        modbus_set_slave(context, 1);
        connected = modbus_connect(context) == 0;
        if (connected) thread = std::thread([this] { Serve(); });
    }
    ~Slave() {
        stopping = true;
        // Its receive waits for a request without end: one more request,
        // from anyone, lets it see the flag.
        if (thread.joinable()) {
            modbus_t* waker = modbus_new_rtu(wakeDevice.c_str(), kBaud, 'N', 8, 1);
            modbus_set_slave(waker, 1);
            modbus_set_response_timeout(waker, 0, 200000);
            std::uint16_t value = 0;
            if (modbus_connect(waker) == 0) modbus_read_registers(waker, 0, 1, &value);
            modbus_close(waker);
            modbus_free(waker);
            thread.join();
        }
        modbus_close(context);
        modbus_mapping_free(map);
        modbus_free(context);
    }
    bool connected = false;
    std::string wakeDevice;

  private:
    void Serve() {
        std::uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!stopping) {
            const int length = modbus_receive(context, query);
            if (length > 0) modbus_reply(context, query, length, map);
        }
    }
    modbus_t* context;
    modbus_mapping_t* map;
    std::atomic<bool> stopping{false};
    std::thread thread;
};

struct Line {
    Line() : slave(pair.slaveEnd) { slave.wakeDevice = pair.masterEnd; }
    PtyPair pair;
    Slave slave;
};

Line& SharedLine() {
    static Line line;
    return line;
}

void BM_RtuMasterAtPollRateZero(benchmark::State& state) {
    Line& line = SharedLine();
    if (!line.pair.Ready() || !line.slave.connected) {
        state.SkipWithError("no pty pair or slave");
        return;
    }
    Notifier notifier;
    NotificationQueue queue;
    notifier.Register(&queue, EventPacketReceived);
    CommsSettings settings;
    settings.protocol = 1;
    settings.pollrate = 0;
    settings.timeout = 1000;
    Poll poll;
    MakePoll(3, 0, 10, PresetId::ShortUint, poll);
    settings.polls = {poll};
    ModbusMasterSerial master(notifier, settings);
    master.line.devicePath = line.pair.masterEnd;
    master.line.baud = kBaud;
    master.Start();
    for (auto _ : state) {
        if (!queue.Pop(5000)) {
            state.SkipWithError("no reply");
            break;
        }
    }
    master.Stop(true);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RtuMasterAtPollRateZero)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);

void BM_LibmodbusRtuClientLoop(benchmark::State& state) {
    Line& line = SharedLine();
    if (!line.pair.Ready() || !line.slave.connected) {
        state.SkipWithError("no pty pair or slave");
        return;
    }
    modbus_t* client = modbus_new_rtu(line.pair.masterEnd.c_str(), kBaud, 'N', 8, 1);
    modbus_set_slave(client, 1);
    if (modbus_connect(client) != 0) {
        state.SkipWithError("cannot open the master end");
        modbus_free(client);
        return;
    }
    std::uint16_t values[10];
    for (auto _ : state) {
        if (modbus_read_registers(client, 0, 10, values) != 10) {
            state.SkipWithError("no reply");
            break;
        }
    }
    modbus_close(client);
    modbus_free(client);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LibmodbusRtuClientLoop)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
