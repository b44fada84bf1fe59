#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// A program started for one test and stopped by its process id. Its standard
// error can be taken through a pipe (socat tells the pty names there).
class PeerProcess {
  public:
    explicit PeerProcess(const std::vector<std::string>& command, bool pipeStderr = false);
    ~PeerProcess();
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    bool Started() const { return pid > 0; }
    // The next line of standard error, waiting at most timeoutMs; empty at the
    // end or on time out.
    std::string ReadErrorLine(int timeoutMs);
    // Waits until the program holds device open (it is serving it).
    bool WaitUntilHolding(const std::string& device, int timeoutMs);
    void Stop();

  private:
    pid_t pid = -1;
    int errorPipe = -1;
    std::string pending;
};

// Two linked pseudo terminals made by socat, like a null-modem cable: the
// slave serves one end, the master opens the other.
class PtyPair {
  public:
    PtyPair();
    bool Ready() const { return !slaveEnd.empty() && !masterEnd.empty(); }

    std::string slaveEnd;
    std::string masterEnd;

  private:
    PeerProcess socat;
};
