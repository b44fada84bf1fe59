#include "engine/ModbusMasterEthernet.h"

#include <algorithm>
#include <utility>

#include "engine/MasterPackets.h"
#include "engine/Notifier.h"
#include "engine/Waitable.h"
#include "protocol/ModbusPacket.h"

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

ModbusMasterEthernet::ModbusMasterEthernet(Notifier& notifier, CommsSettings& settings)
    : notifier(notifier), settings(settings) {
    // Every run's end is announced, also one the worker ends by itself, so the
    // owner refreshes its commands without polling.
    SetRunEnded([this] { this->notifier.Post(EventRunEnded, 0); });
}

ModbusMasterEthernet::~ModbusMasterEthernet() {
    Stop(true);
    socket.Close();
}

void ModbusMasterEthernet::Run() {
    PollTimer pollTimer;
    timer = &pollTimer;
    cycle.emplace(settings, static_cast<PollCycleLink&>(*this), PollCycle::LinkKind::Tcp);
    outstanding.reset();
    received.clear();
    linkUp = false;
    endRun = false;
    reconnectPending = false;
    tickPending = false;
    connectFailures = 0;
    nextReconnectGapMs = InitialReconnectGap();

    // A host that cannot be resolved at the start ends the run at once.
    if (Connect()) {
        while (!endRun) {
            if (reconnectPending && MillisecondsToNextAttempt() == 0) {
                reconnectPending = false;
                if (!Connect()) ConnectFailed();
                continue;
            }
            if (tickPending) {
                // Before the stream, as the timer event is: a due poll goes
                // out before stray bytes are looked at. Stopping still wins.
                tickPending = false;
                if (StopEvent().IsSet()) {
                    CloseRun();
                } else {
                    HandleTick();
                }
                continue;
            }
            // Nothing is held back while the worker waits.
            FlushHeldReply();
            Waitable* sources[] = {&StopEvent(), &pollTimer.Signal(), &socket};
            const std::size_t count = socket.IsOpen() ? 3 : 2;
            const std::uint32_t limit =
                reconnectPending ? MillisecondsToNextAttempt() : kWaitInfinite;
            const int which = WaitForAny(std::span<Waitable* const>(sources, count), limit);
            if (which == kWaitTimeout) continue;
            if (which == 1) {
                HandleTick();
            } else if (which == 2) {
                HandleNetworkEvents();
            } else {
                CloseRun();  // stopped, or the wait itself failed
            }
        }
    }

    FlushHeldReply();
    pollTimer.Cancel();
    socket.Close();
    settings.connected = 0;
    settings.singlePollIndex = -1;
    cycle.reset();
    outstanding.reset();
    received.clear();
    timer = nullptr;
}

bool ModbusMasterEthernet::Connect() {
    Post(EventConnectionState, static_cast<std::uintptr_t>(ConnectionState::Attempting));
    lastAttempt = Clock::now();
    // Each attempt that brings no reply makes the one after it wait longer.
    reconnectGapMs = nextReconnectGapMs;
    nextReconnectGapMs = std::min(nextReconnectGapMs * 2, MaximumReconnectGapMs);
    std::uint32_t address = 0;
    if (!SocketClient::Resolve(host, address)) return false;
    return socket.Connect(address, port);
}

std::uint32_t ModbusMasterEthernet::MillisecondsToNextAttempt() const {
    const auto due = lastAttempt + std::chrono::milliseconds(reconnectGapMs);
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now()).count();
    return left > 0 ? static_cast<std::uint32_t>(left) : 0;
}

std::uint32_t ModbusMasterEthernet::InitialReconnectGap() const {
    return std::clamp(settings.timeout, MinimumReconnectGapMs, MaximumReconnectGapMs);
}

void ModbusMasterEthernet::ScheduleReconnect() { reconnectPending = true; }

void ModbusMasterEthernet::ConnectFailed() {
    socket.Close();
    linkUp = false;
    settings.connected = 0;
    cycle->ConnectionLost();
    outstanding.reset();
    received.clear();
    Post(EventConnectionState, static_cast<std::uintptr_t>(ConnectionState::Failed));
    // Attempts in a row are counted apart from reply timeouts, so timeouts
    // before a lost connection do not shorten the attempts after it.
    connectFailures += 1;
    if (connectFailures == settings.retries) {
        endRun = true;
        return;
    }
    ScheduleReconnect();
}

void ModbusMasterEthernet::ConnectionLost() {
    FlushPartialFrame();
    socket.Close();
    linkUp = false;
    settings.connected = 0;
    Post(EventConnectionState, static_cast<std::uintptr_t>(ConnectionState::Lost));
    // No reply can come for the request that was outstanding, and no tick may
    // send into the closed link.
    cycle->ConnectionLost();
    outstanding.reset();
    ScheduleReconnect();
}

void ModbusMasterEthernet::CloseRun() {
    socket.Close();
    CancelTimer();
    Post(EventConnectionState, static_cast<std::uintptr_t>(ConnectionState::Closed));
    linkUp = false;
    settings.connected = 0;
    endRun = true;
}

void ModbusMasterEthernet::HandleNetworkEvents() {
    const SocketClient::NetworkEvents events = socket.TakeNetworkEvents();
    if (events.connected) {
        linkUp = true;
        connectFailures = 0;
        received.clear();
        outstanding.reset();
        cycle->ConnectionUp();
    }
    if (events.connectFailed) {
        ConnectFailed();
        return;
    }
    if (!linkUp || !(events.readable || events.closed)) return;
    const Socket::ReadStatus status = socket.ReadAvailable(received);
    ProcessReceived();
    if (endRun) return;
    if (status != Socket::ReadStatus::Ok || events.closed) ConnectionLost();
}

void ModbusMasterEthernet::HandleTick() {
    // A tick left over from a link that went down since is of no use.
    if (!linkUp) return;
    if (cycle->AwaitingReply()) {
        // The reply did not come in time: what has arrived of it never will
        // be completed, and the request it answered is given up.
        FlushPartialFrame();
        outstanding.reset();
    }
    if (cycle->Tick() == PollCycle::Outcome::EndRun) CloseRun();
}

ReplyFramer::Expected ModbusMasterEthernet::ExpectedReply() const {
    ReplyFramer::Expected expected;
    expected.protocol = settings.protocol;
    if (outstanding && cycle->AwaitingReply()) {
        expected.outstanding = true;
        expected.protocol = outstanding->protocol;
        expected.transactionId = outstanding->transactionId;
        expected.address = outstanding->address;
        expected.function = outstanding->function;
        expected.itemBytes = outstanding->itemBytes;
    } else {
        expected.address = settings.modbusaddress;
    }
    return expected;
}

void ModbusMasterEthernet::ProcessReceived() {
    while (!endRun && !received.empty()) {
        const ReplyFramer::Frame frame = ReplyFramer::Next(received, ExpectedReply());
        if (frame.kind == ReplyFramer::Kind::NeedMore) return;
        const auto end = received.begin() + static_cast<std::ptrdiff_t>(frame.length);
        std::vector<std::uint8_t> bytes(received.begin(), end);
        received.erase(received.begin(), end);
        if (frame.kind == ReplyFramer::Kind::Stray) {
            // Late, foreign or broken: shown as received, otherwise ignored;
            // the timer of the outstanding request keeps running.
            PostReceived(std::move(bytes));
            continue;
        }
        DecodeReply(std::move(bytes));
        outstanding.reset();
        // The link works: after a loss the first new attempt starts at once,
        // and later ones at the first pace again.
        reconnectGapMs = 0;
        nextReconnectGapMs = InitialReconnectGap();
        if (cycle->ReplyComplete() == PollCycle::Outcome::EndRun) CloseRun();
    }
}

void ModbusMasterEthernet::DecodeReply(std::vector<std::uint8_t> bytes) {
    // Decoded with the poll the request was built from, whatever the poll
    // list or pollIndex say now.
    PacketPtr packet = MakeReceivedPacket(outstanding->protocol, std::move(bytes));
    const ParseResult result =
        packet->DecodeReply(outstanding->protocol, outstanding->address, outstanding->poll);
    FlushHeldReply();
    // Values are committed only for a reply accepted whole.
    if (result == ParseMessageDone)
        settings.datamap.CommitReply(packet->items, packet->start, heldChanged);
    heldReply = std::move(packet);
}

// The reply's events wait until the next request is on the wire (or until
// anything else is posted, or the worker waits): the slave then works on that
// request while the receiver wakes for the events, instead of after. The
// events keep their order; only the wire sees the next request sooner.
void ModbusMasterEthernet::FlushHeldReply() {
    if (heldReply) notifier.PostPacket(EventPacketReceived, std::move(heldReply));
    heldReply.reset();
    for (std::uint16_t address : heldChanged) notifier.Post(EventItemChanged, address);
    heldChanged.clear();
}

void ModbusMasterEthernet::PostReceived(std::vector<std::uint8_t> bytes) {
    FlushHeldReply();
    notifier.PostPacket(EventPacketReceived,
                        MakeReceivedPacket(settings.protocol, std::move(bytes)));
}

void ModbusMasterEthernet::FlushPartialFrame() {
    if (received.empty()) return;
    PostReceived(std::move(received));
    received.clear();
}

bool ModbusMasterEthernet::SendPoll(const Poll& poll) {
    settings.transactionCounter = static_cast<std::uint16_t>(settings.transactionCounter + 1);
    PacketPtr packet = BuildRequestPacket(settings.protocol, settings.transactionCounter,
                                          settings.modbusaddress, poll, settings.datamap);
    Request request;
    request.poll = poll;
    request.transactionId = settings.transactionCounter;
    request.address = settings.modbusaddress;
    request.function = poll.FunctionCode();
    request.protocol = settings.protocol;
    request.itemBytes = ItemBytesOf(poll);
    outstanding = request;
    // The packet is the receiver's once posted; what goes out is a copy in a
    // buffer that lives as long as the master.
    sendBuffer.assign(packet->bytes.begin(), packet->bytes.end());
    const bool sent = !sendBuffer.empty() && socket.Send(sendBuffer.data(), sendBuffer.size()) ==
                                                 static_cast<int>(sendBuffer.size());
    // Posted right after it went out, after the events of the reply before:
    // nothing that answers it has been read yet, so the monitor still shows
    // the request before its reply.
    FlushHeldReply();
    notifier.PostPacket(EventPacketSent, std::move(packet));
    return sent;
}

void ModbusMasterEthernet::ArmTimer(std::uint32_t milliseconds) {
    if (milliseconds == 0) {
        // At once: the worker loop takes the tick itself. A round trip through
        // the timer thread, or even through the timer event and the wait,
        // would cost more than a poll on a fast link. A tick the timer gave
        // just before is dropped, or it would count as a timeout of the
        // request this tick sends.
        CancelTimer();
        tickPending = true;
        return;
    }
    timer->Arm(milliseconds);
}

void ModbusMasterEthernet::CancelTimer() {
    tickPending = false;
    if (timer != nullptr) timer->Cancel();
}

void ModbusMasterEthernet::TickNow() { tickPending = true; }

void ModbusMasterEthernet::Post(std::uint32_t event, std::uintptr_t parameter) {
    FlushHeldReply();
    notifier.Post(event, parameter);
}
