#pragma once

#include <windows.h>

#include "engine/SerialPort.h"

// Writes the line settings and the handshake table into a DCB the driver
// returned, leaving the driver's other fields as they are.
void FillDcb(DCB& dcb, const SerialSettings& settings);
