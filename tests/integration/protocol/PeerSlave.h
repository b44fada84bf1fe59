#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "ByteLink.h"
#include "PeerProcess.h"
#include "PtyPair.h"

// A real Modbus slave in its own process, serving SlaveMemory, reached over
// loopback TCP or a pty pair. Started by the test, stopped by PID when the
// object goes.
class PeerSlave {
  public:
    enum class Kind {
        LibmodbusTcp,        // MBAP framing over TCP
        LibmodbusRtu,        // RTU framing on a pty pair
        PymodbusTcp,         // MBAP framing over TCP
        PymodbusRtuOverTcp,  // RTU framing carried over TCP
        PymodbusRtu,         // RTU framing on a pty pair
    };

    explicit PeerSlave(Kind kind) : kind_(kind) {}

    // Starts the peer, waits until it serves and connects to it.
    bool Start(std::string& error);
    // Protocol id of the framing the peer speaks: 0 MBAP, 1 RTU.
    uint8_t protocol() const;
    // Sends a request and reads the reply: a whole MBAP message, or on RTU
    // framing what arrives until the line is silent.
    bool Exchange(const Bytes& request, Bytes& reply, std::string& error);
    static std::string Name(Kind kind);
    friend void PrintTo(Kind kind, std::ostream* os) { *os << Name(kind); }

  private:
    bool StartProcess(const std::vector<std::string>& argv, uint16_t& port, std::string& error);

    Kind kind_;
    std::unique_ptr<PtyPair> pty_;
    PeerProcess process_;
    ByteLink link_;
};
