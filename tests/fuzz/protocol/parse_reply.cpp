// The whole-message reply decoder of the TCP master over arbitrary bytes: the
// first input bytes choose the poll, the framing, the expected slave address
// and which addresses are mapped (with values of several types); the rest is
// the reply. Besides memory and undefined-behaviour faults, it stops when a
// refused reply changed the data map, when the two entry points disagree, or
// when an accepted RTU reply has a bad CRC.
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "FuzzInput.h"
#include "protocol/Crc16.h"
#include "protocol/DataMap.h"
#include "protocol/FormatPreset.h"
#include "protocol/FunctionTable.h"
#include "protocol/ModbusPacket.h"
#include "protocol/Poll.h"
#include "protocol/ValueEncoding.h"

namespace {

void Fail(const char* why) {
    std::fprintf(stderr, "parse_reply: %s\n", why);
    std::abort();
}

DataItem StoredValue(uint8_t kind) {
    switch (kind % 6) {
        case 0:
            return DataItem();
        case 1:
            return DataItem::MakeBit(true);
        case 2:
            return DataItem::MakeUnsignedShort(5);
        case 3:
            return DataItem::MakeFloat(std::numeric_limits<float>::quiet_NaN());
        case 4:
            return DataItem::MakeDouble(0.0);
        default:
            return DataItem::MakeString("stale");
    }
}

// Addresses a reply may touch, and some it may only touch by wrapping.
DataMap MakeMap(const Poll& poll, uint8_t layout) {
    const uint16_t step = StepForPreset(poll.formatpreset);
    const uint16_t s = poll.start;
    const uint16_t addresses[] = {s,
                                  static_cast<uint16_t>(s + 1),
                                  static_cast<uint16_t>(s + step),
                                  static_cast<uint16_t>(s + 2 * step),
                                  static_cast<uint16_t>(s + poll.size * step - 1),
                                  0,
                                  0xFFFF};
    DataMap map;
    for (size_t i = 0; i < std::size(addresses); ++i)
        map.Insert(addresses[i], StoredValue(static_cast<uint8_t>(layout + i)));
    return map;
}

bool SameEntries(const DataMap& a, const DataMap& b) {
    if (a.size() != b.size()) return false;
    for (const auto& [address, entry] : a.entries()) {
        const DataMapEntry* other = b.Find(address);
        if (!other || other->item.type != entry.item.type ||
            other->item.RawValue() != entry.item.RawValue() || other->item.Text() != entry.item.Text())
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const auto functions = FunctionTable();
    const ModbusFunction& function = functions[in.Byte() % functions.size()];
    const int32_t preset = in.Byte() % static_cast<int32_t>(FormatPresetTable().size());
    const uint8_t protocol = in.Byte() % 3;
    const uint16_t pollSize = in.Word();
    const uint16_t start = in.Word();
    const uint8_t expectedAddress = in.Byte();
    const uint8_t layout = in.Byte();
    const auto reply = in.Rest();

    Poll poll;
    if (!MakePoll(function.code, start, pollSize, preset, poll))
        Fail("a table function was refused");

    ModbusPacket decoder(protocol, 0);
    decoder.bytes.assign(reply.begin(), reply.end());
    const bool decoded = decoder.DecodeReply(protocol, expectedAddress, poll) == ParseMessageDone;

    ModbusPacket packet(protocol, 0);
    packet.bytes.assign(reply.begin(), reply.end());
    DataMap map = MakeMap(poll, layout);
    const DataMap before = map;
    std::vector<uint16_t> changed;
    const bool accepted = packet.ParseReply(protocol, expectedAddress, poll, map, changed);

    if (accepted != decoded) Fail("ParseReply and DecodeReply disagree");
    if (!accepted) {
        if (!changed.empty() || !SameEntries(map, before)) Fail("a refused reply changed the map");
        if (!decoder.items.Empty()) Fail("a refused reply carried values");
        return 0;
    }
    for (const uint16_t address : changed)
        if (!before.Contains(address)) Fail("an unmapped address was reported changed");
    if (protocol == 1 && Crc16(0xFFFF, packet.bytes) != 0)
        Fail("accepted an RTU reply with a bad CRC");
    // The values' texts, as the address map and the web interface show them.
    wchar_t text[12];
    for (const auto& [address, item] : decoder.items) item.FormatText(text, std::size(text));
    return 0;
}
