#pragma once

#include "engine/SerialPort.h"

// The machine's serial port: overlapped I/O with CreateFileW, SetCommState and
// SetCommTimeouts on Windows; termios in raw mode with epoll and a timerfd for
// the timed one-byte read elsewhere.
class Serial final : public SerialPort {
  public:
    Serial();
    ~Serial() override;
    Serial(const Serial&) = delete;
    Serial& operator=(const Serial&) = delete;

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
    bool CompleteReadAtOnce() override;

  private:
    struct Native;
    Native* native_;
};
