#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// A peer program (a Modbus slave, socat) started by a test. Its standard output
// and standard error are pipes the test reads line by line, each read bounded
// in time. The destructor stops the process by its PID and reaps it, so a
// failing test never leaves a peer behind.
class PeerProcess {
  public:
    PeerProcess() = default;
    ~PeerProcess();
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    // Starts argv[0] (searched on PATH). False, with error() set, when it cannot start.
    bool Start(const std::vector<std::string>& argv);

    enum class Stream { Output, Error };
    // Reads the next line (without its newline) from one of the streams. False
    // when the stream ends or no full line arrives before the deadline.
    bool ReadLine(Stream stream, std::string& line, std::chrono::milliseconds timeout);

    // SIGTERM, then SIGKILL if the process has not ended within a second.
    void Stop();

    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    const std::string& error() const { return error_; }
    // Everything read so far from standard error, for failure messages.
    const std::string& errorText() const { return errorText_; }

  private:
    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string outBuffer_;
    std::string errBuffer_;
    std::string errorText_;
    std::string error_;
};
