#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// A peer program (a Modbus slave, socat) started by a test. Its standard output
// and standard error share one pipe the test reads line by line, each read
// bounded in time. The destructor stops the process by its PID and reaps it;
// a test killed by its timeout takes its peers with it.
class PeerProcess {
  public:
    PeerProcess() = default;
    ~PeerProcess() { Stop(); }
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    // Starts argv[0] (searched on PATH); false with error set when it cannot.
    bool Start(const std::vector<std::string>& argv, std::string& error);
    // Reads lines until one contains `text`; false when the output ends or the
    // deadline passes first (error then holds everything read).
    bool WaitForLine(const std::string& text, std::string& line, std::chrono::milliseconds timeout,
                     std::string& error);
    // SIGTERM, then SIGKILL if the process has not ended within a second.
    void Stop();

  private:
    pid_t pid_ = -1;
    int outFd_ = -1;
    std::string buffer_;
    std::string seen_;
};

// Two connected pseudo-terminals made by socat, like the two ends of a
// null-modem cable: the slave serves one end, the master opens the other.
struct PtyPair {
    PtyPair();  // starts socat and waits until it relays bytes
    bool Ready() const { return error.empty(); }
    std::string error;
    PeerProcess socat;
    std::string slaveEnd;
    std::string masterEnd;
};
