#pragma once

#include <cstdint>
#include <string>

class VantelDoc;

// What the connection dialog holds while the user edits the link: the
// numbers as the texts typed, the lists as their chosen values. The rules
// of what may be taken, and how it goes into the document, live here.
struct ConnectionForm {
    bool serial = false;
    std::wstring host;
    std::wstring port;
    uint8_t protocol = 0;
    std::wstring pollRate;
    std::wstring timeout;
    std::wstring retries;
    std::wstring modbusAddress;
    uint32_t comport = 1;
    uint32_t baud = 9600;
    uint8_t parity = 0;
    uint8_t stopbits = 0;
    uint32_t handshaking = 0;
    std::wstring webPort;

    // The ranges of the typed numbers.
    static constexpr int64_t kMaxPort = 65535;
    static constexpr int64_t kMaxMilliseconds = 99999;
    static constexpr int64_t kMaxRetries = 9;
    static constexpr int64_t kMaxModbusAddress = 247;

    // The document's values (the host read as the program's 8-bit text).
    static ConnectionForm FromDocument(VantelDoc& document);

    // Every number lies in its range and, for a network link, the host is
    // not empty: nothing the user typed can reach the document as 0.
    bool OkEnabled() const;

    // Stores every value that differs from the document's, marking the
    // document modified for each; true when anything changed. Only a form
    // whose OK is enabled is applied, and an empty host (allowed for a
    // serial link) leaves the document's host alone.
    bool ApplyTo(VantelDoc& document) const;
};
