#pragma once

#include <string>

namespace slavesim {

struct SerialSettings {
    unsigned baud = 9600;
    char parity = 'N';  // N, E or O
    int dataBits = 8;
    int stopBits = 1;
};

// A tty in raw mode, non-blocking, with the line settings of a Modbus RTU
// link. Owns the descriptor.
class SerialPort {
  public:
    SerialPort() = default;
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;
    ~SerialPort() { Close(); }

    bool Open(const std::string& device, const SerialSettings& settings, std::string* error);
    void Close();
    int Fd() const { return fd_; }

    // Whether the speed is one termios can set.
    static bool SupportedBaud(unsigned baud);

  private:
    int fd_ = -1;
};

}  // namespace slavesim
