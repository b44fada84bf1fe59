#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "tools/slave-sim/Bank.h"
#include "tools/slave-sim/FaultPlan.h"
#include "tools/slave-sim/FrameReader.h"
#include "tools/slave-sim/Options.h"
#include "tools/slave-sim/SerialPort.h"
#include "tools/slave-sim/Slave.h"

namespace slavesim {

using Clock = std::chrono::steady_clock;

// The slave's one thread: a poll() loop over the signal pipe, the listening
// socket and every link, with the reply schedule, the RTU silence and the
// animation as its timers.
class Simulator {
  public:
    Simulator(const Options& options, Bank& bank);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Returns the exit status: 0 after SIGINT/SIGTERM, 1 when the link cannot
    // be set up.
    int Run();

  private:
    // One write to the link, due at a time; a chunk is one TCP segment.
    struct Chunk {
        Clock::time_point due;
        std::vector<uint8_t> bytes;
        size_t sent = 0;
        bool closeAfter = false;
    };

    // A TCP connection or the serial device.
    struct Link {
        explicit Link(Framing framing) : reader(framing) {}
        int fd = -1;
        bool serial = false;
        uint64_t number = 0;
        uint64_t requests = 0;
        std::string name;
        FrameReader reader;
        Clock::time_point lastReceived{};
        std::deque<Chunk> out;
        size_t queuedBytes = 0;
        Clock::time_point lastDue{};
        std::vector<uint8_t> held;  // replies kept back by the pair fault
        bool closing = false;
        size_t discardedNoted = 0;
    };

    bool SetUpTcp();
    bool SetUpSerial(bool first);
    void AcceptConnections();
    void ReadFrom(Link& link);
    void TakeRequests(Link& link);
    void EndFrameAtSilence(Link& link, Clock::time_point now);
    void Answer(Link& link, const Request& request);
    void ReportWrites(const std::vector<WrittenAddress>& written);
    // The reply as the fault plan wants it on the wire.
    std::vector<uint8_t> DamageReply(const FaultActions& actions, std::vector<uint8_t> frame);
    void Schedule(Link& link, std::vector<uint8_t> frame, const FaultActions& actions,
                  bool closeAfter);
    void Flush(Link& link, Clock::time_point now);
    void CloseLink(Link& link, const char* why);
    void Animate();
    void WriteDump();
    int PollTimeoutMs(Clock::time_point now) const;
    bool SilenceEndsFrames(const Link& link) const;
    void LogFrame(const Link& link, const char* direction, const uint8_t* data, size_t length);
    void Note(const std::string& text);
    void NoteDiscarded(Link& link);

    const Options& options_;
    Bank& bank_;
    Slave slave_;
    FaultPlan faults_;
    Framing framing_;
    std::chrono::milliseconds gap_;

    int listenFd_ = -1;
    uint64_t connectionsAccepted_ = 0;
    uint64_t requestsServed_ = 0;
    std::vector<std::unique_ptr<Link>> links_;
    SerialPort serialPort_;
    Clock::time_point reopenAt_{};
    bool serialWaiting_ = false;

    uint64_t animateTick_ = 0;
    Clock::time_point nextAnimate_{};
};

// Installs the SIGINT/SIGTERM/SIGUSR1 handlers; must be called before Run.
bool InstallSignalHandlers();

}  // namespace slavesim
