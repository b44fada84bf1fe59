#pragma once

#include <string>

#include "PeerProcess.h"

// Two connected pseudo-terminals made by socat: what is written to one end is
// read at the other, like the two ends of a null-modem cable.
class PtyPair {
  public:
    // Starts socat and waits until both ends exist and it relays bytes.
    bool Open(std::string& error);
    const std::string& first() const { return first_; }
    const std::string& second() const { return second_; }

  private:
    PeerProcess socat_;
    std::string first_;
    std::string second_;
};
