#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "ByteLink.h"

// A TCP listener on 127.0.0.1 at a port the system picks, so tests never
// collide over a fixed port. It stands in for a slave that only records what a
// client sends.
class LoopbackListener {
  public:
    LoopbackListener() = default;
    ~LoopbackListener();
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    bool Listen(std::string& error);
    uint16_t port() const { return port_; }
    // The next connection; an invalid link when none arrives in time.
    ByteLink Accept(std::chrono::milliseconds timeout);

  private:
    int fd_ = -1;
    uint16_t port_ = 0;
};
