#pragma once

// What the masters' tests share: the events a master posts, collected in
// order as one line of short texts ("state 1, sent 100, received 13, item
// 100, retry, give up, run ended") with the time each arrived, and the
// polls and frames the tests build.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/NotificationQueue.h"
#include "engine/Notifier.h"
#include "engine/SharedDataMap.h"
#include "protocol/Crc16.h"
#include "protocol/FormatPreset.h"
#include "protocol/ModbusPacket.h"

using Bytes = std::vector<std::uint8_t>;

// "01 03 00 64" -> {0x01, 0x03, 0x00, 0x64}
inline Bytes Hex(const char* text) {
    Bytes bytes;
    for (char* end = nullptr;; text = end) {
        const unsigned long byte = std::strtoul(text, &end, 16);
        if (end == text) return bytes;
        bytes.push_back(static_cast<std::uint8_t>(byte));
    }
}

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
    for (unsigned a = start; a < unsigned{start} + count; ++a) {
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

inline void MapRegisters(SharedDataMap& map, std::uint16_t start, std::uint16_t count,
                         DataItem::Type type = DataItem::UnsignedShort) {
    for (unsigned a = start; a < unsigned{start} + count; ++a) map.Insert(a, DataItem(type));
}

// One situation for a master: what the slave does, the settings that differ,
// the events up to the count-th "until", and the least and most time from the
// first request to the last of them.
template <typename Slave>
struct Scenario {
    const char* name;
    Slave slave;
    std::vector<std::uint16_t> polls;
    std::uint32_t timeout, retries;
    int single;
    const char* until;
    int count;
    const char* expected;
    long minMs = 0, maxMs = 20000;
};

class MasterEvents {
  public:
    using Clock = std::chrono::steady_clock;

    MasterEvents() {
        for (std::uint32_t event = EventConnectionState; event <= EventRunEnded; ++event)
            notifier.Register(&queue, event);
    }

    static std::string Describe(std::uint32_t event, std::uintptr_t wParam,
                                const ModbusPacket* packet) {
        using std::to_string;
        if (event == EventConnectionState) return "state " + to_string(wParam);
        if (event == EventItemChanged) return "item " + to_string(wParam);
        if (event == EventPacketSent) return "sent " + to_string(packet->start);
        if (event == EventPacketReceived) return "received " + to_string(packet->bytes.size());
        if (event == EventTimeoutRetry) return "retry";
        if (event == EventTimeoutGiveUp) return "give up";
        return event == EventRunEnded ? "run ended" : "event " + to_string(event);
    }

    // The events up to and including the count-th one described as last
    // ("received" stands for any "received N"), each awaited for at most
    // timeoutMs.
    std::string Until(const std::string& last, int count = 1, int timeoutMs = 4000) {
        std::string steps;
        for (int seen = 0; seen < count;) {
            const std::optional<Notification> next = queue.Pop(timeoutMs);
            if (!next) {
                ADD_FAILURE() << "no \"" << last << "\" within " << timeoutMs << " ms: " << steps;
                return steps;
            }
            const std::string step = Describe(next->event, next->wParam, next->packet.get());
            steps += (steps.empty() ? "" : ", ") + step;
            times.push_back(Clock::now());
            if (step == last || step.starts_with(last + " ")) ++seen;
        }
        return steps;
    }

    // Milliseconds between the events at positions a and b of all events seen.
    long Between(std::size_t a, std::size_t b) const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(times.at(b) - times.at(a))
            .count();
    }

    // Milliseconds from `started` to the event at position b. Events are
    // timed when the test takes them, late when the machine is busy, so a
    // lower bound is measured from before the start, not from an event.
    long SinceStart(std::size_t b) const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(times.at(b) - started)
            .count();
    }

    // Runs a scenario on rig's master (its slave already in place), polling one
    // register at each of its starts.
    template <typename Rig, typename Slave>
    static void RunScenario(Rig& rig, const Scenario<Slave>& s) {
        rig.settings.timeout = s.timeout;
        rig.settings.retries = s.retries;
        rig.settings.singlePollIndex = s.single;
        for (std::uint16_t start : s.polls) rig.settings.polls.push_back(MakeTestPoll(3, start, 1));
        rig.started = Clock::now();
        ASSERT_TRUE(rig.master.Start());
        EXPECT_EQ(rig.Until(s.until, s.count), s.expected);
        EXPECT_GE(rig.SinceStart(rig.times.size() - 1), s.minMs);
        EXPECT_LT(rig.Between(2, rig.times.size() - 1), s.maxMs);
        EXPECT_EQ(rig.settings.singlePollIndex.load(), -1) << "every run leaves it cyclic";
    }

    Notifier notifier;
    NotificationQueue queue;
    std::vector<Clock::time_point> times;
    Clock::time_point started;
};
