#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/CommsSettings.h"
#include "engine/PacketPtr.h"
#include "engine/PollCycle.h"
#include "engine/PollTimer.h"
#include "engine/ReplyFramer.h"
#include "engine/Socket.h"
#include "engine/Thread.h"

class Notifier;

// The worker that polls one slave over a TCP connection: it resolves the
// slave, connects without blocking, runs the poll cycle over the connection
// with either framing (MBAP or RTU frames), reconnects when the peer closes,
// and reports every step through the notifier. The end of every run, also
// one it ends by itself, is posted as EventRunEnded, and every run leaves
// singlePollIndex at -1 so that the next run is cyclic.
//
// Connection attempts are paced: an attempt starts no sooner than the
// reconnect gap after the previous one started. The gap begins at the reply
// timeout (at least MinimumReconnectGapMs) and doubles after every attempt
// that brought no reply, up to MaximumReconnectGapMs. A connection that
// carried a reply has proved the slave: when it is lost, the first new attempt
// starts at once and the gap begins afresh.
// A slave that refuses at once, or accepts and closes at once, thus costs a
// few attempts a second at first and one every few seconds after that, with
// retries 0 too, instead of a busy loop and a flood of monitor rows.
class ModbusMasterEthernet : public Thread, private PollCycleLink {
  public:
    static constexpr std::uint32_t MinimumReconnectGapMs = 20;
    static constexpr std::uint32_t MaximumReconnectGapMs = 5000;

    ModbusMasterEthernet(Notifier& notifier, CommsSettings& settings);
    ~ModbusMasterEthernet();

    // Read when a connection attempt starts; not changed while running.
    std::string host = "localhost";
    std::uint16_t port = 502;

  protected:
    void Run() override;

  private:
    // PollCycleLink
    bool SendPoll(const Poll& poll) override;
    void ArmTimer(std::uint32_t milliseconds) override;
    void CancelTimer() override;
    void TickNow() override;
    void Post(std::uint32_t event, std::uintptr_t parameter) override;

    // One connection attempt; false when it failed before anything was sent
    // (no such host, no socket).
    bool Connect();
    void ConnectFailed();
    void HandleNetworkEvents();
    void ConnectionLost();
    void ProcessReceived();
    void DecodeReply(std::vector<std::uint8_t> bytes);
    void PostReceived(std::vector<std::uint8_t> bytes);
    void FlushHeldReply();
    void FlushPartialFrame();
    void HandleTick();
    // Closes the link at the end of a run the master ends itself or is asked
    // to end, and announces it.
    void CloseRun();
    void ScheduleReconnect();
    std::uint32_t MillisecondsToNextAttempt() const;
    std::uint32_t InitialReconnectGap() const;
    ReplyFramer::Expected ExpectedReply() const;

    Notifier& notifier;
    CommsSettings& settings;
    SocketClient socket;

    // The state of one run, valid while Run executes.
    struct Request {
        Poll poll;
        std::uint16_t transactionId = 0;
        std::uint8_t address = 0;
        std::uint8_t function = 0;
        std::uint8_t protocol = 0;
        std::uint16_t itemBytes = 0;
    };
    PollTimer* timer = nullptr;
    std::optional<PollCycle> cycle;
    // The request a reply is awaited for, with the poll it was built from.
    std::optional<Request> outstanding;
    std::vector<std::uint8_t> received;
    // Kept across polls so that a poll allocates no more than its packets.
    std::vector<std::uint8_t> sendBuffer;
    // The last reply and the addresses it changed, until they are posted.
    PacketPtr heldReply;
    std::vector<std::uint16_t> heldChanged;
    bool linkUp = false;
    bool endRun = false;
    bool reconnectPending = false;
    // A tick due at once, taken by the worker loop before it waits again.
    bool tickPending = false;
    // Failed connection attempts in a row, counted apart from reply timeouts.
    std::uint32_t connectFailures = 0;
    // The least time from the start of the last attempt to the next one, and
    // what it becomes after the next attempt.
    std::uint32_t reconnectGapMs = MinimumReconnectGapMs;
    std::uint32_t nextReconnectGapMs = MinimumReconnectGapMs;
    std::chrono::steady_clock::time_point lastAttempt;
};
