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
// arrive on the line after the delays it chooses. A read completes with the
// next byte that has arrived, or empty when its time runs out, as a port's
// does; a helper thread does the timing and sets the read's completion.
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
        Locked([this] { quit = true; });
        timing.join();
    }

    // Set before the master runs.
    Slave slave;
    bool writesFail = false;

    std::vector<Bytes> Requests() const {
        return Locked([this] { return requests; });
    }
    // Bytes that DiscardInput dropped.
    std::size_t Discarded() const {
        return Locked([this] { return discarded; });
    }
    SerialSettings Opened() const {
        return Locked([this] { return opened; });
    }

    bool Open(const SerialSettings& settings) override {
        return Locked([&] { return opened = settings, open = true; });
    }
    void Close() override {
        Locked([this] { open = writePending = readPending = false; });
        txDone.Reset();
        rxDone.Reset();
    }
    bool IsOpen() const override {
        return Locked([this] { return open; });
    }
    bool DiscardInput() override {
        return Locked([this] {
            for (; !line.empty() && line.front().at <= Clock::now(); ++discarded) line.pop_front();
            return open;
        });
    }

    // A write is transmitted at once, all bytes taken.
    bool StartWrite(std::span<const std::uint8_t> bytes) override {
        const Bytes request(bytes.begin(), bytes.end());
        if (!Locked([&] { return open && !writesFail && (requests.push_back(request), true); }))
            return false;
        const std::vector<Chunk> answer = slave ? slave(request) : std::vector<Chunk>{};
        Locked([&] {
            Clock::time_point at = Clock::now();
            written = request.size();
            writePending = true;
            for (const Chunk& chunk : answer) {
                at += std::chrono::milliseconds(chunk.afterMs);
                for (std::uint8_t byte : chunk.bytes) line.push_back({at, byte});
            }
        });
        txDone.Set();
        return true;
    }
    bool WritePending() const override {
        return Locked([this] { return writePending; });
    }
    Waitable& WriteCompletion() override { return txDone; }
    bool FinishWrite(std::size_t& count) override {
        return Locked([&] { return writePending = false, count = written, true; });
    }
    void CancelWrite() override {
        Locked([this] { writePending = false; });
        txDone.Reset();
    }

    bool StartRead(std::uint32_t timeoutMs) override {
        return Locked([&] {
            if (!open || readPending) return false;
            readDeadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
            readDone = false;
            return readPending = true;
        });
    }
    bool ReadPending() const override {
        return Locked([this] { return readPending; });
    }
    Waitable& ReadCompletion() override { return rxDone; }
    bool FinishRead(std::uint8_t& byte, std::size_t& count) override {
        return Locked(
            [&] { return readPending = false, byte = readByte, count = readCount, true; });
    }
    void CancelRead() override {
        Locked([this] { readPending = readDone = false; });
        rxDone.Reset();
    }

  private:
    using Clock = std::chrono::steady_clock;
    struct Arrival {
        Clock::time_point at;
        std::uint8_t byte;
    };

    // Runs f under the lock and wakes the timing thread afterwards.
    template <typename F>
    auto Locked(F f) const -> decltype(f()) {
        std::unique_lock guard(lock);
        struct Wake {
            std::condition_variable& changed;
            ~Wake() { changed.notify_all(); }
        } wake{changed};
        return f();
    }

    // Completes the outstanding read with the first byte that has arrived,
    // or empty at its deadline.
    void Timing() {
        std::unique_lock guard(lock);
        while (!quit) {
            const Clock::time_point now = Clock::now();
            const bool arrived = !line.empty() && line.front().at <= now;
            const bool waiting = readPending && !readDone;
            if (waiting && (arrived || readDeadline <= now)) {
                readCount = arrived ? 1 : 0;
                if (arrived) readByte = line.front().byte, line.pop_front();
                readDone = true;
                rxDone.Set();
            } else if (!waiting) {
                changed.wait(guard);
            } else {
                changed.wait_until(guard, line.empty() || readDeadline < line.front().at
                                              ? readDeadline
                                              : line.front().at);
            }
        }
    }

    mutable std::mutex lock;
    mutable std::condition_variable changed;
    std::deque<Arrival> line;
    std::vector<Bytes> requests;
    SerialSettings opened;
    std::size_t discarded = 0;
    bool open = false;
    std::size_t written = 0;
    bool writePending = false;
    bool readPending = false;
    bool readDone = false;
    Clock::time_point readDeadline;
    std::uint8_t readByte = 0;
    std::size_t readCount = 0;
    bool quit = false;
    Event txDone{Event::AutoReset};
    Event rxDone{Event::AutoReset};
    std::thread timing;
};
