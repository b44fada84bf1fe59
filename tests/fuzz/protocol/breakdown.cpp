// The packet breakdown (and the monitor's one-line description) over
// arbitrary packets: the first input bytes choose the preset (or none), the
// encoding, the framing, the direction, the packet's count and our slave
// address; the rest are the packet's bytes. Besides memory and
// undefined-behaviour faults, it stops when the field rows do not show the
// packet's bytes in order from the first, or when an error row is malformed
// or stands where it cannot.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzInput.h"
#include "protocol/FormatPreset.h"
#include "protocol/ModbusPacket.h"
#include "protocol/PacketBreakdown.h"
#include "protocol/TrafficRow.h"

namespace {

void Fail(const char* why) {
    std::fprintf(stderr, "breakdown: %s\n", why);
    std::abort();
}

std::wstring Hex(const std::vector<uint8_t>& bytes, size_t count) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring text;
    for (size_t i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
        text += L' ';
    }
    return text;
}

// The rows that end a breakdown.
bool IsLast(const BreakdownRow& row, const BreakdownTexts& texts) {
    return row.value == texts.messageTruncated || row.value == texts.messageTooLong ||
           row.value == texts.unrecognisedFunction;
}

void Check(const std::vector<BreakdownRow>& rows, const std::vector<uint8_t>& bytes) {
    const BreakdownTexts& texts = BreakdownTexts::English();
    if (rows.empty()) Fail("no rows at all");
    std::wstring shown;
    size_t mismatches = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        const BreakdownRow& row = rows[i];
        if (!row.isError) {
            if (row.field.empty() || row.hex.empty()) Fail("a field row without label or bytes");
            shown += row.hex;
            continue;
        }
        if (!row.field.empty() || row.hex != texts.error) Fail("a malformed error row");
        if (IsLast(row, texts)) {
            if (i + 1 != rows.size()) Fail("rows after the end of the breakdown");
        } else if (row.value.rfind(texts.expected + L" ", 0) != 0 || ++mismatches > 1) {
            Fail("an error row that is no single byte count mismatch");
        }
    }
    if (shown.size() % 3 != 0 || shown.size() / 3 > bytes.size())
        Fail("rows show more bytes than the packet has");
    const size_t used = shown.size() / 3;
    if (shown != Hex(bytes, used)) Fail("rows do not show the packet's bytes in order");
    const std::wstring& last = rows.back().value;
    const bool ended = rows.back().isError && IsLast(rows.back(), texts);
    if (last == texts.messageTooLong && used >= bytes.size()) Fail("too long with no byte left");
    if (!ended && used != bytes.size()) Fail("bytes left without a message");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const uint8_t presetChoice = in.Byte();
    const uint8_t encodingChoice = in.Byte();
    const uint8_t protocol = in.Byte() % 3;
    const uint8_t isRequest = in.Byte() & 1;
    const uint16_t count = in.Word();
    const uint8_t slaveAddress = in.Byte();
    const auto bytes = in.Rest();

    ModbusPacket packet(protocol, isRequest);
    // One choice in ten has no preset, as a packet not decoded against a poll.
    const auto presets = FormatPresetTable();
    const size_t presetIndex = presetChoice % 10u;
    packet.preset = presetIndex < presets.size() ? &presets[presetIndex] : nullptr;
    // 0 takes the preset's encoding as a poll's set-up does; any other value
    // is the encoding itself, known or not.
    packet.encoding = encodingChoice != 0 ? encodingChoice
                      : packet.preset     ? packet.preset->encoding
                                          : 0;
    packet.count = count;
    packet.bytes.assign(bytes.begin(), bytes.end());

    Check(BreakDownPacket(packet, slaveAddress), packet.bytes);
    (void)SentRow(packet);
    return 0;
}
