#pragma once

#include <cstdint>
#include <vector>

#include "engine/SerialPort.h"

// A serial line for the port's tests: the settings that open its near end and
// the far end, driven directly. Natively a pty; under Wine the two COM ports
// that KESTROM_TEST_LINE_COMPORTS names ("12,13"), linked to a pty pair.
class TestLine {
  public:
    TestLine();
    ~TestLine();
    // False when this machine has no such line.
    bool Ready() const { return farEnd != -1; }
    bool Write(const std::vector<std::uint8_t>& bytes);
    // What reached the far end within timeoutMs (returns once something has).
    std::vector<std::uint8_t> Read(int timeoutMs);
    // Ends the line at the far end; false where it cannot.
    bool HangUp();

    SerialSettings settings;  // opens the near end

  private:
    std::intptr_t farEnd = -1;
};
