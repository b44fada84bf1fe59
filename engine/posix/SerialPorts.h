#pragma once

#include <string>
#include <vector>

// The serial devices under a device folder (normally /dev), as
// EnumerateSerialPorts lists them: "COMn" for each ttyS(n-1) that has a port
// behind it (probeTtyS asks the driver; the nodes exist whether or not a UART
// does), then the ttyUSB and ttyACM paths and the serial/by-id links, each
// group sorted. Separate from the real folder so that tests can give their own.
std::vector<std::wstring> ListSerialDevices(const std::string& devFolder, bool probeTtyS);
