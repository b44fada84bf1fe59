#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "engine/Event.h"
#include "engine/SerialPort.h"
#include "engine/TimerQueue.h"

// A serial port with a scripted slave behind it, in real (short) time. Each
// written request is handed to the slave script, which answers with bytes that
// arrive on the line after the delays it chooses. A write completes at once; a
// read completes (by a timer) when its byte arrives or its time runs out, as a
// port's does. Only the master's worker drives it; the test reads requests
// and discarded after the events that follow their change.
class FakeSerialPort final : public SerialPort {
  public:
    using Bytes = std::vector<std::uint8_t>;
    using Clock = std::chrono::steady_clock;
    // Bytes arriving afterMs after the previous chunk (the first: after the
    // request was written).
    struct Chunk {
        std::uint32_t afterMs;
        Bytes bytes;
    };
    using Slave = std::function<std::vector<Chunk>(const Bytes& request)>;

    Slave slave;  // set before the master runs
    bool writesFail = false;
    std::vector<Bytes> requests;
    std::size_t discarded = 0;  // bytes DiscardInput dropped

    bool Open(const SerialSettings&) override { return open = true; }
    void Close() override {
        CancelRead();
        CancelWrite();
        open = false;
    }
    bool IsOpen() const override { return open; }
    bool DiscardInput() override {
        for (; !line.empty() && line.front().at <= Clock::now(); ++discarded) line.pop_front();
        return open;
    }

    bool StartWrite(std::span<const std::uint8_t> bytes) override {
        if (!open || writesFail) return false;
        requests.emplace_back(bytes.begin(), bytes.end());
        Clock::time_point at = Clock::now();
        for (const Chunk& chunk : slave ? slave(requests.back()) : std::vector<Chunk>{}) {
            at += std::chrono::milliseconds(chunk.afterMs);
            for (std::uint8_t byte : chunk.bytes) line.push_back({at, byte});
        }
        writePending = true;
        txDone.Set();
        return true;
    }
    bool WritePending() const override { return writePending; }
    Waitable& WriteCompletion() override { return txDone; }
    bool FinishWrite(std::size_t& written) override {
        written = requests.back().size();
        writePending = false;
        return true;
    }
    void CancelWrite() override {
        writePending = false;
        txDone.Reset();
    }

    bool StartRead(std::uint32_t timeoutMs) override {
        if (!open || readPending) return false;
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        const Clock::time_point due = line.empty() ? deadline : std::min(deadline, line.front().at);
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now());
        readPending =
            timers.Arm(timer, static_cast<std::uint32_t>(std::max<long>(0, wait.count())));
        return readPending;
    }
    bool ReadPending() const override { return readPending; }
    Waitable& ReadCompletion() override { return rxDone; }
    bool FinishRead(std::uint8_t& byte, std::size_t& count) override {
        readPending = false;
        // A timer may fire a little before the clock reaches the byte's time.
        count = !line.empty() && line.front().at <= Clock::now() + std::chrono::milliseconds(2);
        if (count == 1) byte = line.front().byte, line.pop_front();
        return true;
    }
    void CancelRead() override {
        timers.Cancel(timer);
        rxDone.Reset();
        readPending = false;
    }

  private:
    struct Arrival {
        Clock::time_point at;
        std::uint8_t byte;
    };
    std::deque<Arrival> line;
    bool open = false;
    bool writePending = false;
    bool readPending = false;
    Event txDone{Event::AutoReset};
    Event rxDone{Event::AutoReset};
    TimerQueue timers;
    TimerEntry& timer = timers.Add(SignalEvent, &rxDone);
};
