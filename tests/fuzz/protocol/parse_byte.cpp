// The byte parser of the serial master, fed one byte at a time. The first
// input bytes choose the poll (function, preset, size, start), the framing,
// the accepted slave address and the address ranges; the rest is the reply.
// Besides memory and undefined-behaviour faults, it stops on a frame that the
// frame check accepts although it is not sound.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "FuzzInput.h"
#include "protocol/AddressRange.h"
#include "protocol/Crc16.h"
#include "protocol/DebugTrace.h"
#include "protocol/FormatPreset.h"
#include "protocol/FunctionTable.h"
#include "protocol/ModbusPacket.h"
#include "protocol/Poll.h"

namespace {

void Fail(const char* why) {
    std::fprintf(stderr, "parse_byte: %s\n", why);
    std::abort();
}

// The traces are built as on Windows, where a debugger may listen.
void SwallowTrace(const wchar_t*) {}

std::vector<AddressRange> Ranges(uint8_t mode, uint8_t presetByte, const Poll& poll) {
    const auto span = static_cast<uint16_t>(poll.size * StepForPreset(poll.formatpreset));
    const uint8_t code = poll.FunctionCode();
    switch (mode % 5) {
        case 0:
            return {};  // no polls known: "SHORT UINT"
        case 1:
            return {{code, poll.start, span, poll.formatpreset}};
        // Any preset id, including -1 (refused) and ids not in the table.
        case 2:
            return {{code, poll.start, span, static_cast<int32_t>(presetByte) - 1}};
        case 3:
            return {{static_cast<uint8_t>(code ^ 1), poll.start, span, poll.formatpreset}};
        default:
            return {{code, poll.start, 1, poll.formatpreset},
                    {code, static_cast<uint16_t>(poll.start + 1), 0xFFFF, PresetId::ShortUint}};
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DebugTrace::SetSink(SwallowTrace);
    FuzzInput in(data, size);
    const auto functions = FunctionTable();
    const ModbusFunction& function = functions[in.Byte() % functions.size()];
    const int32_t preset = in.Byte() % static_cast<int32_t>(FormatPresetTable().size());
    const uint8_t protocol = in.Byte() % 3;  // MBAP, RTU, or an id with no framing
    const uint16_t pollSize = in.Word();
    const uint16_t start = in.Word();
    const uint8_t accepted = in.Byte();
    const uint8_t rangeMode = in.Byte();
    const uint8_t rangePreset = in.Byte();

    Poll poll;
    if (!MakePoll(function.code, start, pollSize, preset, poll))
        Fail("a table function was refused");
    ModbusPacket packet(protocol, 0);
    packet.PrepareReply(poll, Ranges(rangeMode, rangePreset, poll));
    if (accepted != 0) packet.acceptedAddresses = {accepted, static_cast<uint8_t>(accepted + 1)};

    for (const uint8_t b : in.Rest()) packet.ParseByte(b);

    if (packet.fault != ParseByteOk && !packet.items.Empty()) Fail("a faulty frame kept values");
    if (packet.CheckFrame() != ParseByteOk) return 0;
    const auto& bytes = packet.bytes;
    if (protocol == 1 && Crc16(0xFFFF, bytes) != 0) Fail("accepted an RTU frame with a bad CRC");
    if (protocol == 0 &&
        (bytes.size() < 6 || static_cast<size_t>(bytes[4] << 8 | bytes[5]) != bytes.size() - 6))
        Fail("accepted an MBAP message whose length is not the bytes received");
    if (packet.items.Size() > std::max<size_t>(pollSize, 1))
        Fail("more items than the poll asked for");
    return 0;
}
