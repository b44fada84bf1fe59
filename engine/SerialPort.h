#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/Waitable.h"

// How a serial port is found and driven. The document edits these; the master
// reads them when it opens the port and never while it runs.
struct SerialSettings {
    // COM port number: \\.\COMn on Windows, /dev/ttyS(n-1) elsewhere (as Wine
    // maps them).
    std::uint32_t comport = 1;
    // When not empty, the device opened instead of the one comport names (any
    // device path, for example /dev/ttyUSB0 or one end of a pty pair).
    std::string devicePath;
    std::uint32_t baud = 9600;
    std::uint8_t databits = 8;
    // 0 none, 1 odd, 2 even, 3 mark, 4 space.
    std::uint8_t parity = 0;
    // As the Windows driver takes it: 0 one stop bit, 1 one and a half, 2 two.
    std::uint8_t stopbits = 0;
    // 0 none, 1 hardware (RTS/CTS, DTR/DSR), 2 software (XON/XOFF); any other
    // value is taken as none.
    std::uint32_t handshaking = 0;
};

enum class Handshake { None, Hardware, Software };
inline Handshake HandshakeFor(std::uint32_t handshaking) {
    if (handshaking == 1) return Handshake::Hardware;
    if (handshaking == 2) return Handshake::Software;
    return Handshake::None;
}

// A serial port driven without blocking the worker: a write and a one-byte
// read can each be outstanding, and their completions join the worker's wait
// as Waitables. Each transfer owns its own record and buffer until it has
// completed or been cancelled, so a write never disturbs a read in flight.
class SerialPort {
  public:
    virtual ~SerialPort() = default;

    // Opens the port for exclusive use and applies the line settings; false
    // (and the port closed) when it is missing, in use, or rejects a setting.
    virtual bool Open(const SerialSettings& settings) = 0;
    // Cancels what is outstanding and releases the port. Closing a closed
    // port does nothing.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // Drops what has arrived and not been read yet; no read may be outstanding.
    virtual bool DiscardInput() = 0;

    // Starts sending bytes (the port keeps its own copy). False when the port
    // refused at once (an unplugged adapter); nothing is outstanding then.
    virtual bool StartWrite(std::span<const std::uint8_t> bytes) = 0;
    virtual bool WritePending() const = 0;
    // Ready once the outstanding write has completed.
    virtual Waitable& WriteCompletion() = 0;
    // The result of the completed write: false when it failed; written tells
    // how many bytes went out. Nothing is outstanding afterwards.
    virtual bool FinishWrite(std::size_t& written) = 0;
    // Abandons an outstanding write and waits until the port has let go of it.
    virtual void CancelWrite() = 0;

    // Starts reading one byte, completing with one byte or, after timeoutMs
    // without one, with none.
    virtual bool StartRead(std::uint32_t timeoutMs) = 0;
    virtual bool ReadPending() const = 0;
    virtual Waitable& ReadCompletion() = 0;
    // The result of the completed read: false when it failed; otherwise count
    // is 1 (byte holds it) or 0 (the time ran out).
    virtual bool FinishRead(std::uint8_t& byte, std::size_t& count) = 0;
    virtual void CancelRead() = 0;
    // Completes the outstanding read at once when a byte has arrived already
    // and the port can tell without a system call, sparing the worker a wait
    // per byte of a reply that came whole; FinishRead then takes it. False
    // leaves the read outstanding. A port that cannot tell always says false.
    virtual bool CompleteReadAtOnce() { return false; }
};

// The device a port's settings open, as the traces and the user see it:
// \\.\COM12 on Windows, /dev/ttyS11 elsewhere, or the device path given.
std::wstring SerialDeviceName(const SerialSettings& settings);

// The serial ports of this machine in the form the connection dialog offers
// them: "COMn" names (on Windows from the registry, in its order; elsewhere
// for the ttyS devices with a port behind them) and, elsewhere, the paths of
// the USB and ACM devices and their stable /dev/serial/by-id names. False,
// with an empty list, when there is none.
bool EnumerateSerialPorts(std::vector<std::wstring>& list);
