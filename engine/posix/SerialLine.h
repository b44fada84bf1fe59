#pragma once

#include <termios.h>

#include "engine/SerialPort.h"

// The termios form of a port's line settings: raw bytes, the baud rate, data
// bits, parity, stop bits and flow control. False for a setting this system
// cannot give the line (an unknown baud rate, one and a half stop bits).
bool FillTermios(termios& tio, const SerialSettings& settings);

// Reads the tty's settings, fills them and applies them; false when any step
// fails. The modem lines follow the handshake as on Windows: DTR and RTS are
// dropped unless hardware handshaking drives them.
bool ApplyLineSettings(int fd, const SerialSettings& settings);
