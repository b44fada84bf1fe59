#pragma once

#include <optional>

#include "PeerProcess.h"

// A real Modbus slave in its own process serving SlaveMemory as slave
// kSlaveAddress, on loopback TCP at a port it picks or on a pty pair.
class PeerSlave {
  public:
    enum class Kind {
        PymodbusTcp,         // MBAP framing over TCP
        PymodbusRtuOverTcp,  // RTU framing carried over TCP
        PymodbusRtu,         // RTU framing on a pty pair
        LibmodbusTcp,
        LibmodbusRtu,
    };
    static std::string Name(Kind kind);

    // Starts the peer and waits until it serves; baud applies on a pty pair.
    bool Start(Kind kind, uint32_t baud, std::string& error);
    bool onPty() const { return pty_.has_value(); }
    // Protocol id of the framing it speaks: 0 MBAP, 1 RTU.
    uint8_t framing() const {
        return kind_ == Kind::PymodbusTcp || kind_ == Kind::LibmodbusTcp ? 0 : 1;
    }
    uint16_t port() const { return port_; }
    // A loopback connection to the slave's port, or the other end of its pty
    // pair opened raw; -1 with error set when neither can be had.
    int Connect(std::string& error) const;
    // The end of the pty pair a master opens.
    const std::string& device() const { return pty_->masterEnd; }

  private:
    Kind kind_ = Kind::PymodbusTcp;
    std::optional<PtyPair> pty_;
    PeerProcess process_;
    uint16_t port_ = 0;
};

// The simulator serving `device` with these options.
bool StartSimulator(PeerProcess& process, const std::string& device,
                    const std::vector<std::string>& options, std::string& error);

// The simulator on a free loopback TCP port, with these options; port
// receives the port it listens on.
bool StartTcpSimulator(PeerProcess& process, const std::vector<std::string>& options,
                       uint16_t& port, std::string& error);
