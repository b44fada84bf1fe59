#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/Event.h"
#include "engine/SerialPort.h"

// A serial port with a scripted slave behind it, in real (short) time. Each
// written request is handed to the slave script, which answers with bytes that
// arrive on the line after the delays it chooses. A write completes at once; a
// read completes with the next byte that has arrived, or empty when its time
// runs out, as a port's does. A helper thread times the reads.
class FakeSerialPort final : public SerialPort {
  public:
    using Bytes = std::vector<std::uint8_t>;
    // Bytes arriving afterMs after the previous chunk (the first: after the
    // request was written).
    struct Chunk {
        std::uint32_t afterMs;
        Bytes bytes;
    };
    using Slave = std::function<std::vector<Chunk>(const Bytes& request)>;

    FakeSerialPort() : timing([this] { Timing(); }) {}
    ~FakeSerialPort() override {
        Change([this] { quit = true; });
        timing.join();
    }

    // Set before the master runs.
    Slave slave;
    bool writesFail = false;

    std::vector<Bytes> Requests() const { return Locked(requests); }
    // Bytes that DiscardInput dropped.
    std::size_t Discarded() const { return Locked(discarded); }
    SerialSettings Opened() const { return Locked(opened); }

    bool Open(const SerialSettings& settings) override {
        Change([&] { opened = settings, open = true; });
        return true;
    }
    void Close() override {
        Change([this] { open = writePending = readPending = false; });
        txDone.Reset();
        rxDone.Reset();
    }
    bool IsOpen() const override { return Locked(open); }
    bool DiscardInput() override {
        std::lock_guard guard(lock);
        for (; !line.empty() && line.front().at <= Clock::now(); ++discarded) line.pop_front();
        return open;
    }

    bool StartWrite(std::span<const std::uint8_t> bytes) override {
        const Bytes request(bytes.begin(), bytes.end());
        if (!Locked(open) || writesFail) return false;
        const std::vector<Chunk> answer = slave ? slave(request) : std::vector<Chunk>{};
        Change([&] {
            requests.push_back(request);
            writePending = true;
            Clock::time_point at = Clock::now();
            for (const Chunk& chunk : answer) {
                at += std::chrono::milliseconds(chunk.afterMs);
                for (std::uint8_t byte : chunk.bytes) line.push_back({at, byte});
            }
        });
        txDone.Set();
        return true;
    }
    bool WritePending() const override { return Locked(writePending); }
    Waitable& WriteCompletion() override { return txDone; }
    bool FinishWrite(std::size_t& written) override {
        Change([&] { writePending = false, written = requests.back().size(); });
        return true;
    }
    void CancelWrite() override {
        Change([this] { writePending = false; });
        txDone.Reset();
    }

    bool StartRead(std::uint32_t timeoutMs) override {
        if (!Locked(open) || Locked(readPending)) return false;
        Change([&] {
            readDeadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
            readPending = true, readDone = false;
        });
        return true;
    }
    bool ReadPending() const override { return Locked(readPending); }
    Waitable& ReadCompletion() override { return rxDone; }
    bool FinishRead(std::uint8_t& byte, std::size_t& count) override {
        Change([&] { readPending = false, byte = readByte, count = readCount; });
        return true;
    }
    void CancelRead() override {
        Change([this] { readPending = readDone = false; });
        rxDone.Reset();
    }

  private:
    using Clock = std::chrono::steady_clock;

    template <typename T>
    T Locked(const T& member) const {
        std::lock_guard guard(lock);
        return member;
    }
    // Changes the state under the lock and wakes the timing thread.
    template <typename F>
    void Change(F change) {
        {
            std::lock_guard guard(lock);
            change();
        }
        changed.notify_all();
    }

    // Completes the outstanding read with the first byte that has arrived,
    // or empty at its deadline.
    void Timing() {
        std::unique_lock guard(lock);
        while (!quit) {
            const Clock::time_point now = Clock::now();
            const bool waiting = readPending && !readDone;
            const bool arrived = !line.empty() && line.front().at <= now;
            if (waiting && (arrived || readDeadline <= now)) {
                readCount = arrived ? 1 : 0;
                if (arrived) readByte = line.front().byte, line.pop_front();
                readDone = true;
                rxDone.Set();
            } else if (!waiting) {
                changed.wait(guard);
            } else {
                const bool byteFirst = !line.empty() && line.front().at < readDeadline;
                changed.wait_until(guard, byteFirst ? line.front().at : readDeadline);
            }
        }
    }

    struct Arrival {
        Clock::time_point at;
        std::uint8_t byte;
    };
    mutable std::mutex lock;
    std::condition_variable changed;
    std::deque<Arrival> line;
    std::vector<Bytes> requests;
    SerialSettings opened;
    std::size_t discarded = 0;
    bool open = false, writePending = false, readPending = false, readDone = false, quit = false;
    Clock::time_point readDeadline;
    std::uint8_t readByte = 0;
    std::size_t readCount = 0;
    Event txDone{Event::AutoReset};
    Event rxDone{Event::AutoReset};
    std::thread timing;
};
