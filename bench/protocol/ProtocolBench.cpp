// Packets per second of request building and of both reply decoders, for
// typical polls: short register reads, the largest register and coil reads,
// and writes. "packets/s" counts one request built or one reply decoded.
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

#include "common/Utf16.h"
#include "protocol/AddressRange.h"
#include "protocol/Crc16.h"
#include "protocol/DataMap.h"
#include "protocol/FormatPreset.h"
#include "protocol/ModbusPacket.h"
#include "protocol/Poll.h"
#include "protocol/TrafficRow.h"
#include "protocol/ValueEncoding.h"

namespace {

constexpr uint8_t kSlave = 17;

struct Shape {
    uint8_t function;
    uint16_t size;
    int32_t preset;
};

// The polls measured; the index is the benchmark's argument.
const Shape kShapes[] = {
    {3, 10, PresetId::ShortUint},      // 0: a small register read
    {3, 125, PresetId::ShortUint},     // 1: the largest register read
    {3, 31, PresetId::PhilipsDouble},  // 2: doubles, 248 data bytes
    {1, 2000, PresetId::Bit},          // 3: the largest coil read
    {16, 123, PresetId::ShortUint},    // 4: the largest register write
    {15, 1968, PresetId::Bit},         // 5: the largest coil write
};

Poll MakeShapePoll(const Shape& shape) {
    Poll poll;
    MakePoll(shape.function, 100, shape.size, shape.preset, poll);
    return poll;
}

void SetLabel(benchmark::State& state, const Shape& shape, uint8_t protocol) {
    state.SetLabel("function " + std::to_string(shape.function) + ", " +
                   std::to_string(shape.size) + " items, preset " + std::to_string(shape.preset) +
                   (protocol == 0 ? ", MBAP" : ", RTU"));
    state.counters["packets/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// A reply with the values a slave would send for the poll, in the framing.
std::vector<uint8_t> MakeReply(const Shape& shape, uint8_t protocol) {
    std::vector<uint8_t> pdu = {kSlave, shape.function};
    const FormatPreset* preset = FindPreset(shape.preset);
    const uint16_t dataBytes = ByteCountFor(preset, shape.size);
    pdu.push_back(static_cast<uint8_t>(dataBytes));
    for (uint16_t i = 0; i < dataBytes; ++i) pdu.push_back(static_cast<uint8_t>(i * 7 + 1));
    std::vector<uint8_t> frame;
    if (protocol == 0) {
        // Transaction 1, protocol 0, the length, then the PDU. Appended byte
        // by byte: g++ 12 at -O3 misreads a range insert here as out of bounds.
        frame = {0x00, 0x01, 0x00, 0x00, static_cast<uint8_t>(pdu.size() >> 8),
                 static_cast<uint8_t>(pdu.size())};
        for (const uint8_t b : pdu) frame.push_back(b);
    } else {
        frame = pdu;
        const uint16_t crc = Crc16(0xFFFF, frame);
        frame.push_back(static_cast<uint8_t>(crc));
        frame.push_back(static_cast<uint8_t>(crc >> 8));
    }
    return frame;
}

void BuildRequest(benchmark::State& state) {
    const Shape& shape = kShapes[state.range(0)];
    const auto protocol = static_cast<uint8_t>(state.range(1));
    const Poll poll = MakeShapePoll(shape);
    // Write values as a master copies them from the data map.
    PacketItems items;
    for (uint16_t i = 0; i < shape.size; ++i) {
        items.Set(static_cast<uint16_t>(100 + i),
                  shape.preset == PresetId::Bit
                      ? DataItem::MakeBit(i % 3 == 0)
                      : DataItem::MakeUnsignedShort(static_cast<uint16_t>(i)));
    }
    uint16_t transactionId = 0;
    for (auto _ : state) {
        ModbusPacket packet(protocol, 1);
        packet.transactionId = ++transactionId;
        packet.address = kSlave;
        packet.function = shape.function;
        packet.SetFromPoll(poll);
        if (shape.function == 15 || shape.function == 16) packet.items = items;
        if (!packet.BuildRequest(protocol)) state.SkipWithError("request refused");
        benchmark::DoNotOptimize(packet.bytes.data());
    }
    SetLabel(state, shape, protocol);
}

void ParseReply(benchmark::State& state) {
    const Shape& shape = kShapes[state.range(0)];
    const auto protocol = static_cast<uint8_t>(state.range(1));
    const Poll poll = MakeShapePoll(shape);
    const std::vector<uint8_t> reply = MakeReply(shape, protocol);
    // Every polled address mapped, as after "Add Polled Addresses".
    DataMap map;
    for (uint16_t i = 0; i < shape.size; ++i)
        map.Insert(static_cast<uint16_t>(100 + i * StepForPreset(shape.preset)), DataItem());
    std::vector<uint16_t> changed;
    for (auto _ : state) {
        ModbusPacket packet(protocol, 0);
        packet.bytes = reply;
        changed.clear();
        if (!packet.ParseReply(protocol, kSlave, poll, map, changed))
            state.SkipWithError("reply refused");
        benchmark::DoNotOptimize(changed.data());
    }
    SetLabel(state, shape, protocol);
}

void ParseByte(benchmark::State& state) {
    const Shape& shape = kShapes[state.range(0)];
    const auto protocol = static_cast<uint8_t>(state.range(1));
    const Poll poll = MakeShapePoll(shape);
    const std::vector<uint8_t> reply = MakeReply(shape, protocol);
    const uint16_t span = static_cast<uint16_t>(shape.size * StepForPreset(shape.preset));
    const std::vector<AddressRange> ranges = {{shape.function, 100, span, shape.preset}};
    for (auto _ : state) {
        ModbusPacket packet(protocol, 0);
        packet.PrepareReply(poll, ranges);
        for (const uint8_t b : reply) packet.ParseByte(b);
        if (packet.CheckFrame() != ParseByteOk) state.SkipWithError("frame refused");
        benchmark::DoNotOptimize(packet.items.Size());
    }
    SetLabel(state, shape, protocol);
}

// A received reply's row as the command-line program prints it: the row's
// texts, the whole line and its UTF-8.
void ReplyRowLine(benchmark::State& state) {
    const Shape& shape = kShapes[state.range(0)];
    const auto protocol = static_cast<uint8_t>(state.range(1));
    const Poll poll = MakeShapePoll(shape);
    ModbusPacket packet(protocol, 0);
    packet.bytes = MakeReply(shape, protocol);
    DataMap map;
    std::vector<uint16_t> changed;
    if (!packet.ParseReply(protocol, kSlave, poll, map, changed)) state.SkipWithError("refused");
    const std::wstring time = TimeText(12, 34, 56, 789);
    for (auto _ : state) {
        const std::string line = Utf16::ToUtf8(LogLine(time, ReceivedRow(packet)));
        benchmark::DoNotOptimize(line.data());
    }
    SetLabel(state, shape, protocol);
}

// Requests: every shape; replies: the read shapes (0 to 3).
BENCHMARK(BuildRequest)->ArgsProduct({{0, 1, 3, 4, 5}, {0, 1}});
BENCHMARK(ParseReply)->ArgsProduct({{0, 1, 2, 3}, {0, 1}});
BENCHMARK(ParseByte)->ArgsProduct({{0, 1, 2, 3}, {0, 1}});
BENCHMARK(ReplyRowLine)->ArgsProduct({{0, 1, 3}, {0}});

}  // namespace

BENCHMARK_MAIN();
