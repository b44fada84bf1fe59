#include "FakeSerialPort.h"

FakeSerialPort::FakeSerialPort() : timing([this] { Timing(); }) {}

FakeSerialPort::~FakeSerialPort() {
    {
        std::lock_guard guard(lock);
        quit = true;
    }
    changed.notify_all();
    timing.join();
}

void FakeSerialPort::Schedule(Clock::time_point start, const std::vector<Chunk>& chunks) {
    Clock::time_point at = start;
    for (const Chunk& chunk : chunks) {
        at += std::chrono::milliseconds(chunk.afterMs);
        for (std::uint8_t byte : chunk.bytes) line.push_back({at, byte});
    }
}

void FakeSerialPort::Inject(std::uint32_t afterMs, const Bytes& bytes) {
    {
        std::lock_guard guard(lock);
        Schedule(Clock::now(), {{afterMs, bytes}});
    }
    changed.notify_all();
}

std::vector<FakeSerialPort::Bytes> FakeSerialPort::Requests() const {
    std::lock_guard guard(lock);
    return requests;
}

std::size_t FakeSerialPort::Discarded() const {
    std::lock_guard guard(lock);
    return discarded;
}

SerialSettings FakeSerialPort::Opened() const {
    std::lock_guard guard(lock);
    return opened;
}

bool FakeSerialPort::Open(const SerialSettings& settings) {
    std::lock_guard guard(lock);
    opened = settings;
    open = true;
    return true;
}

void FakeSerialPort::Close() {
    std::lock_guard guard(lock);
    open = false;
    writePending = false;
    readPending = false;
    txDone.Reset();
    rxDone.Reset();
}

bool FakeSerialPort::IsOpen() const {
    std::lock_guard guard(lock);
    return open;
}

bool FakeSerialPort::DiscardInput() {
    std::lock_guard guard(lock);
    const Clock::time_point now = Clock::now();
    while (!line.empty() && line.front().at <= now) {
        line.pop_front();
        ++discarded;
    }
    return open;
}

bool FakeSerialPort::StartWrite(std::span<const std::uint8_t> bytes) {
    std::vector<Chunk> answer;
    Bytes request(bytes.begin(), bytes.end());
    {
        std::lock_guard guard(lock);
        if (!open || writesFail) return false;
        requests.push_back(request);
        written = bytes.size();
        writePending = true;
    }
    if (slave) answer = slave(request);
    {
        std::lock_guard guard(lock);
        Schedule(Clock::now(), answer);
    }
    txDone.Set();
    changed.notify_all();
    return true;
}

bool FakeSerialPort::WritePending() const {
    std::lock_guard guard(lock);
    return writePending;
}

Waitable& FakeSerialPort::WriteCompletion() { return txDone; }

bool FakeSerialPort::FinishWrite(std::size_t& count) {
    std::lock_guard guard(lock);
    writePending = false;
    count = written;
    return true;
}

void FakeSerialPort::CancelWrite() {
    std::lock_guard guard(lock);
    writePending = false;
    txDone.Reset();
}

bool FakeSerialPort::StartRead(std::uint32_t timeoutMs) {
    {
        std::lock_guard guard(lock);
        if (!open || readPending) return false;
        readPending = true;
        readDone = false;
        readDeadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    }
    changed.notify_all();
    return true;
}

bool FakeSerialPort::ReadPending() const {
    std::lock_guard guard(lock);
    return readPending;
}

Waitable& FakeSerialPort::ReadCompletion() { return rxDone; }

bool FakeSerialPort::FinishRead(std::uint8_t& byte, std::size_t& count) {
    std::lock_guard guard(lock);
    readPending = false;
    byte = readByte;
    count = readCount;
    return true;
}

void FakeSerialPort::CancelRead() {
    std::lock_guard guard(lock);
    readPending = false;
    readDone = false;
    rxDone.Reset();
}

// Completes the outstanding read with the first byte that has arrived, or
// empty at its deadline.
void FakeSerialPort::Timing() {
    std::unique_lock guard(lock);
    while (!quit) {
        if (!readPending || readDone) {
            changed.wait(guard);
            continue;
        }
        const Clock::time_point now = Clock::now();
        if (!line.empty() && line.front().at <= now) {
            readByte = line.front().byte;
            readCount = 1;
            line.pop_front();
            readDone = true;
            rxDone.Set();
            continue;
        }
        if (readDeadline <= now) {
            readCount = 0;
            readDone = true;
            rxDone.Set();
            continue;
        }
        Clock::time_point wake = readDeadline;
        if (!line.empty() && line.front().at < wake) wake = line.front().at;
        changed.wait_until(guard, wake);
    }
}
