#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "engine/CommsSettings.h"
#include "engine/PacketPtr.h"
#include "engine/PollCycle.h"
#include "engine/PollTimer.h"
#include "engine/SerialPort.h"
#include "engine/Thread.h"
#include "protocol/Poll.h"

class Notifier;

// The worker that polls one slave over a serial port with either framing. It
// opens the port, runs the poll cycle over it and reads each reply one byte
// at a time through the byte parser. A reply ends as soon as it is known to
// be whole: when the parser reports the message done (MBAP framing), or, with
// RTU framing, when the bytes form the complete frame that answers the request
// (the length its function code and count give, from the slave asked, with a
// correct CRC: a clean reply, or an exception reply). Any other frame (one
// with a fault, one cut short, another slave's) ends when the line has been
// silent for MessageGapMs after its last byte. Every step is reported through
// the notifier; the end of every run is posted as EventRunEnded, and every
// run leaves singlePollIndex at -1.
//
// What the worker does beyond the bare cycle, so that a faulty line or slave
// cannot mislead or stall it:
// - What is waiting in the port's input is discarded before each request, so
//   a late reply is never taken as the answer to the next one.
// - The first reply byte is awaited up to the reply timeout; once a frame has
//   started, MessageGapMs of silence ends it. A tick that comes while a frame
//   is arriving waits for its end.
// - Only frames from the configured slave count; another slave's frame is
//   shown and the reply is awaited on.
// - A frame is decoded with the preset of the poll that was sent, and its
//   values are stored only when it checks out whole (CRC included).
// - An exception reply, a frame the parser abandons, a request that could
//   not be written and a reply that never started are each counted against
//   retries, so the cycle moves on; their bytes are shown as received.
class ModbusMasterSerial : public Thread, private PollCycleLink {
  public:
    static constexpr std::uint32_t MessageGapMs = 200;

    ModbusMasterSerial(Notifier& notifier, CommsSettings& settings);
    // With a port of the caller's choosing (tests drive a fake one).
    ModbusMasterSerial(Notifier& notifier, CommsSettings& settings,
                       std::unique_ptr<SerialPort> port);
    ~ModbusMasterSerial();

    // Read when the port is opened; not changed while running.
    SerialSettings line;

  protected:
    void Run() override;

  private:
    // Where the exchange of the current request stands.
    enum class Exchange {
        Idle,           // nothing outstanding (also after a counted failure)
        Unsent,         // the request could not be written; counted at the tick
        Writing,        // the request is being transmitted
        AwaitingReply,  // transmitted; no reply byte yet
        Receiving,      // a frame is arriving
        Draining,       // an abandoned frame is read to its end to be shown
    };

    // PollCycleLink
    bool SendPoll(const Poll& poll) override;
    void ArmTimer(std::uint32_t milliseconds) override;
    void CancelTimer() override;
    void TickNow() override;
    void Post(std::uint32_t event, std::uintptr_t parameter) override;

    void HandleTick();
    void TransmissionComplete();
    void ReadComplete();
    void ByteReceived(std::uint8_t byte);
    void MessageEnd();
    void ApplyReply(PacketPtr reply);
    void PrepareReply();
    bool ReadNext(std::uint32_t timeoutMs);
    // The request came to nothing (no answer, a failed transfer, an
    // abandoned or exception reply): counted against retries.
    void CountFailure();
    // The tick of the cycle proper: send the next request (or end the run).
    void CycleTick();
    // The frame that ended is not the answer (another slave's, or another
    // transaction's): the reply is awaited on until the tick.
    void AwaitAnotherFrame();
    void TransferFailed();
    void PostReceived(PacketPtr packet);
    void CloseRun();

    Notifier& notifier;
    CommsSettings& settings;
    std::unique_ptr<SerialPort> port;

    // The state of one run, valid while Run executes.
    PollTimer* timer = nullptr;
    std::optional<PollCycle> cycle;
    Exchange exchange = Exchange::Idle;
    // The request until its transmission completed, then the reply.
    PacketPtr current;
    // The poll the outstanding request was built from.
    Poll sentPoll;
    std::uint8_t sentProtocol = 0;
    std::uint8_t sentAddress = 0;
    std::uint16_t sentTransactionId = 0;
    // Bytes of the frame so far, also those beyond what the packet keeps.
    std::size_t frameBytes = 0;
    bool tickDeferred = false;
    // A tick due at once, taken by the worker loop before it waits again.
    bool tickPending = false;
    bool endRun = false;
};
