#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/DataMap.h"
#include "protocol/Poll.h"

// The serial line as the serial master is set up; Reset leaves it alone, so
// a project that does not mention it keeps the user's port.
struct SerialLineSettings {
    uint32_t comport = 1;  // COM1
    uint32_t baud = 9600;
    uint8_t databits = 8;
    uint8_t parity = 0;        // 0 none, 1 odd, 2 even
    uint8_t stopbits = 0;      // 0 one, 1 one and a half, 2 two
    uint32_t handshaking = 0;  // 0 none, 1 hardware, 2 software

    bool operator==(const SerialLineSettings&) const = default;
};

// Everything a project file holds, as a plain value: the document copies it
// out of and into its settings and masters, and the file reader fills a fresh
// one so that a file that fails to load changes nothing.
struct ProjectSetup {
    static constexpr int32_t kDefaultWebPort = 8888;

    // The Ethernet master's slave.
    std::string host = "localhost";
    uint16_t port = 502;

    // The settings both masters share.
    uint8_t protocol = 0;  // 0 Modbus TCP framing, 1 Modbus RTU framing
    std::vector<Poll> polls;
    uint8_t modbusaddress = 1;
    DataMap datamap;
    uint32_t pollrate = 1000;  // milliseconds
    uint32_t timeout = 1000;   // milliseconds
    uint32_t retries = 3;

    SerialLineSettings line;
    bool serial = false;  // Run starts the serial master instead of the Ethernet one
    int32_t webport = kDefaultWebPort;

    // Back to the defaults for the slave, the shared settings, the polls and
    // the data map; the serial line, the serial flag and the web port stay.
    void Reset() { *this = Defaults(); }
    // A set-up as Reset would leave this one, made without copying the polls
    // and the data map.
    ProjectSetup Defaults() const;
};
