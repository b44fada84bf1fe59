#include "protocol/TrafficRow.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <initializer_list>

#include "protocol/FunctionTable.h"
#include "protocol/ModbusPacket.h"
#include "protocol/ProtocolTable.h"

namespace {

bool Has(std::span<const PacketField> fields, PacketField field) {
    for (PacketField f : fields) {
        if (f == field) return true;
    }
    return false;
}

// The header fields a description needs, read from the bytes the packet
// carries: a received packet reaches the monitor before (or without) being
// decoded, so its parsed fields cannot be relied on. A field beyond the bytes
// falls back to what the packet holds.
struct Fields {
    std::uint32_t start = 0;
    std::uint32_t count = 0;
    std::uint32_t byteCount = 0;
};

std::uint32_t BigEndian(const std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t width,
                        std::uint32_t fallback) {
    if (at + width > bytes.size()) return fallback;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i) value = (value << 8) | bytes[at + i];
    return value;
}

Fields ReadFields(const ModbusPacket& packet, std::size_t functionAt, std::uint8_t code) {
    // The Daniel requests (65 to 68) carry a 4-byte start and a 1-byte count.
    const bool daniel = FunctionCode::IsDaniel(code);
    const std::size_t startWidth = daniel ? 4 : 2;
    const std::size_t countWidth = daniel ? 1 : 2;
    const std::size_t first = functionAt + 1;
    Fields fields;
    fields.start = BigEndian(packet.bytes, first, startWidth, packet.start);
    fields.count = BigEndian(packet.bytes, first + startWidth, countWidth, packet.count);
    fields.byteCount = BigEndian(packet.bytes, first, 1, packet.byteCount);
    return fields;
}

std::wstring Format(const wchar_t* format, auto... arguments) {
    wchar_t buffer[64];
    int n = std::swprintf(buffer, std::size(buffer), format, arguments...);
    if (n < 0) return std::wstring();
    return std::wstring(buffer, static_cast<std::size_t>(n));
}

// The words come from the string table and may be of any length, so the
// texts are joined rather than printed into a buffer.
std::wstring Joined(std::initializer_list<std::wstring> parts) {
    std::wstring text;
    for (const std::wstring& part : parts) {
        if (&part != parts.begin()) text += L' ';
        text += part;
    }
    return text;
}

}  // namespace

const TrafficWords& TrafficWords::English() {
    static const TrafficWords words;
    return words;
}

std::wstring PacketDescription(const ModbusPacket& packet, const TrafficWords& words) {
    // MBAP: the 7-byte header, then the function. RTU (and a bare PDU):
    // address, function.
    const std::size_t functionAt = packet.protocol == Protocol::Tcp ? 7 : 1;
    if (packet.bytes.size() <= functionAt) return std::wstring();
    const std::uint8_t code = packet.bytes[functionAt];
    const ModbusFunction* function = FindFunction(code);
    if (function == nullptr) return std::wstring();
    const Fields fields = ReadFields(packet, functionAt, code);
    const std::wstring name = function->name;

    if (packet.isRequest != 0) {
        if (Has(function->requestFields, PacketField::count)) {
            // The last address in 64 bits, so a count of 0 or a range past
            // 65535 shows what the request says rather than a wrapped number.
            const long long last =
                static_cast<long long>(fields.start) + static_cast<long long>(fields.count) - 1;
            return Joined(
                {words.poll, name, std::to_wstring(fields.start), words.to, std::to_wstring(last)});
        }
        return Joined({words.poll, name, std::to_wstring(fields.start)});
    }
    if (Has(function->replyFields, PacketField::bytecount)) {
        return Joined({words.reply, name, words.with, std::to_wstring(fields.byteCount), L"bytes",
                       words.ofData});
    }
    if (Has(function->replyFields, PacketField::itemcount)) {
        return Joined({words.reply, name, words.with, std::to_wstring(fields.byteCount), L"items"});
    }
    return Joined({words.reply, name});
}

std::optional<std::wstring> ConnectionStateText(std::uint32_t state, const TrafficWords& words) {
    switch (state) {
        case 0:
            return words.attemptingToConnect;
        case 1:
            return words.connected;
        case 2:
            return words.connectionLost;
        case 3:
            return words.connectionFailed;
        case 4:
            return words.connectionClosed;
        default:
            return std::nullopt;
    }
}

std::wstring HexContent(std::span<const std::uint8_t> bytes) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    const std::size_t shown = std::min(bytes.size(), kMaxHexBytes);
    std::wstring text(shown * 3, L' ');
    for (std::size_t i = 0; i < shown; ++i) {
        text[3 * i] = digits[bytes[i] >> 4];
        text[3 * i + 1] = digits[bytes[i] & 0x0F];
    }
    return text;
}

namespace {

TrafficRow PacketRow(const wchar_t* dir, const ModbusPacket& packet, const TrafficWords& words) {
    std::wstring description = PacketDescription(packet, words);
    if (description.empty()) description = words.unknown;
    return TrafficRow{dir, std::move(description), HexContent(packet.bytes)};
}

}  // namespace

TrafficRow SentRow(const ModbusPacket& request, const TrafficWords& words) {
    return PacketRow(L"TX", request, words);
}

TrafficRow ReceivedRow(const ModbusPacket& reply, const TrafficWords& words) {
    return PacketRow(L"RX", reply, words);
}

TrafficRow TimeoutRetryRow(const TrafficWords& words) {
    return TrafficRow{L"", words.timeoutRetrying, L""};
}

TrafficRow TimeoutGiveUpRow(const TrafficWords& words) {
    return TrafficRow{L"", words.timeoutGivingUp, L""};
}

std::wstring TimeText(int hour, int minute, int second, int millisecond) {
    return Format(L"%02d:%02d:%02d:%03d", hour, minute, second, millisecond);
}

std::wstring LocalTimeText() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const int millisecond =
        static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    // std::localtime shares one buffer per process: rows are made on one
    // thread only (the monitor's, or the program's main thread). It looks at
    // the time zone's file on every call, so the local time of a second is
    // kept for the rows of that second.
    static std::time_t cachedSecond = -1;
    static int hour = 0, minute = 0, second = 0;
    if (seconds != cachedSecond) {
        const std::tm* local = std::localtime(&seconds);
        if (local == nullptr) return TimeText(0, 0, 0, millisecond);
        cachedSecond = seconds;
        hour = local->tm_hour;
        minute = local->tm_min;
        second = local->tm_sec;
    }
    return TimeText(hour, minute, second, millisecond);
}

std::wstring LogLine(const std::wstring& time, const TrafficRow& row) {
    std::wstring line;
    line.reserve(time.size() + row.dir.size() + row.description.size() + row.content.size() + 3);
    line.append(time).append(1, L' ').append(row.dir).append(1, L' ');
    line.append(row.description).append(1, L' ').append(row.content);
    return line;
}
