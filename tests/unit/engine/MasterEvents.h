#pragma once

// What both masters' tests share: the events a master posts, collected in
// order as short texts ("state 1", "sent 100", "received 13", "item 100",
// "retry", "give up", "run ended") with the time each arrived, and the
// polls and replies the tests build.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/NotificationQueue.h"
#include "engine/Notifier.h"
#include "engine/SharedDataMap.h"
#include "protocol/Crc16.h"
#include "protocol/FormatPreset.h"
#include "protocol/ModbusPacket.h"
#include "protocol/Poll.h"

using Bytes = std::vector<std::uint8_t>;
using Steps = std::vector<std::string>;

inline Poll MakeTestPoll(std::uint8_t function, std::uint16_t start, std::uint16_t size,
                         std::int32_t preset = PresetId::ShortUint) {
    Poll poll;
    MakePoll(function, start, size, preset, poll);
    return poll;
}

inline std::uint16_t Word(const Bytes& bytes, std::size_t at) {
    return static_cast<std::uint16_t>((bytes[at] << 8) | bytes[at + 1]);
}

// The function 3 reply PDU for count registers from start; register a holds 1000 + a.
inline Bytes ReadPdu(std::uint16_t start, std::uint16_t count) {
    Bytes pdu{0x03, static_cast<std::uint8_t>(count * 2)};
    for (std::uint16_t a = start; a < start + count; ++a) {
        pdu.push_back(static_cast<std::uint8_t>((1000 + a) >> 8));
        pdu.push_back(static_cast<std::uint8_t>(1000 + a));
    }
    return pdu;
}

// An RTU frame: address, pdu, CRC low byte first.
inline Bytes RtuFrame(std::uint8_t address, const Bytes& pdu) {
    Bytes frame{address};
    frame.insert(frame.end(), pdu.begin(), pdu.end());
    const std::uint16_t crc = Crc16(0xFFFF, frame);
    frame.push_back(static_cast<std::uint8_t>(crc));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

class MasterEvents {
  public:
    using Clock = std::chrono::steady_clock;

    MasterEvents() {
        for (std::uint32_t event = EventConnectionState; event <= EventRunEnded; ++event)
            notifier.Register(&queue, event);
    }

    static std::string Describe(const Notification& n) {
        switch (n.event) {
            case EventConnectionState:
                return "state " + std::to_string(n.wParam);
            case EventItemChanged:
                return "item " + std::to_string(n.wParam);
            case EventPacketSent:
                return "sent " + std::to_string(n.packet->start);
            case EventPacketReceived:
                return "received " + std::to_string(n.packet->bytes.size());
            case EventTimeoutRetry:
                return "retry";
            case EventTimeoutGiveUp:
                return "give up";
            case EventRunEnded:
                return "run ended";
            default:
                return "event " + std::to_string(n.event);
        }
    }

    // The events up to and including the count-th one described as last,
    // each awaited for at most timeoutMs.
    Steps Until(const std::string& last, int count = 1, int timeoutMs = 4000) {
        Steps steps;
        for (int seen = 0; seen < count;) {
            const std::optional<Notification> next = queue.Pop(timeoutMs);
            if (!next) {
                ADD_FAILURE() << "no \"" << last << "\" within " << timeoutMs << " ms after "
                              << ::testing::PrintToString(steps);
                return steps;
            }
            steps.push_back(Describe(*next));
            times.push_back(Clock::now());
            if (steps.back() == last) ++seen;
        }
        return steps;
    }

    // Milliseconds between the events at positions a and b of all events seen.
    long Between(std::size_t a, std::size_t b) const {
        using std::chrono::milliseconds;
        return static_cast<long>(
            std::chrono::duration_cast<milliseconds>(times.at(b) - times.at(a)).count());
    }

    static void MapRegisters(SharedDataMap& map, std::uint16_t start, std::uint16_t count) {
        for (std::uint16_t a = start; a < start + count; ++a)
            map.Insert(a, DataItem(DataItem::UnsignedShort));
    }

    Notifier notifier;
    NotificationQueue queue;
    std::vector<Clock::time_point> times;
};
