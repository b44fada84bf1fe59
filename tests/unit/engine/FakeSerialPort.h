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
// does; a helper thread does the timing and sets the completion events.
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

    FakeSerialPort();
    ~FakeSerialPort() override;

    // Set before the master runs.
    Slave slave;
    bool writesFail = false;

    // Bytes that arrive on the line afterMs from now, whatever was written.
    void Inject(std::uint32_t afterMs, const Bytes& bytes);
    std::vector<Bytes> Requests() const;
    // Bytes that DiscardInput dropped.
    std::size_t Discarded() const;
    SerialSettings Opened() const;

    bool Open(const SerialSettings& settings) override;
    void Close() override;
    bool IsOpen() const override;
    bool DiscardInput() override;
    bool StartWrite(std::span<const std::uint8_t> bytes) override;
    bool WritePending() const override;
    Waitable& WriteCompletion() override;
    bool FinishWrite(std::size_t& written) override;
    void CancelWrite() override;
    bool StartRead(std::uint32_t timeoutMs) override;
    bool ReadPending() const override;
    Waitable& ReadCompletion() override;
    bool FinishRead(std::uint8_t& byte, std::size_t& count) override;
    void CancelRead() override;

  private:
    using Clock = std::chrono::steady_clock;
    struct Arrival {
        Clock::time_point at;
        std::uint8_t byte;
    };
    void Schedule(Clock::time_point start, const std::vector<Chunk>& chunks);
    void Timing();

    mutable std::mutex lock;
    std::condition_variable changed;
    std::deque<Arrival> line;
    std::vector<Bytes> requests;
    SerialSettings opened;
    std::size_t discarded = 0;
    bool open = false;
    bool writePending = false;
    std::size_t written = 0;
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
