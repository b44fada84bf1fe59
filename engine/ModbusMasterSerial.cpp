#include "engine/ModbusMasterSerial.h"

#include <algorithm>
#include <utility>

#include "engine/MasterPackets.h"
#include "engine/Notifier.h"
#include "engine/Serial.h"
#include "engine/Waitable.h"
#include "protocol/DebugTrace.h"
#include "protocol/ModbusPacket.h"

namespace {

void Trace(const std::wstring& text) {
    if (DebugTrace::Enabled()) DebugTrace::Write(text);
}

// The bytes so far are a whole frame that answers the request: every field
// its function calls for, the CRC that closes it correct, and no fault on
// the way (the slave's address, the request's function or its exception
// form, the count the request asked for). Anything else cannot be known to
// be whole, so the silence after it ends it.
bool FrameKnownComplete(const ModbusPacket& reply) {
    if (reply.state != PacketField::end) return false;
    const ParseResult check = reply.CheckFrame();
    return check == ParseByteOk || check == ParseExceptionReply;
}

}  // namespace

ModbusMasterSerial::ModbusMasterSerial(Notifier& notifier, CommsSettings& settings)
    : ModbusMasterSerial(notifier, settings, std::make_unique<Serial>()) {}

ModbusMasterSerial::ModbusMasterSerial(Notifier& notifier, CommsSettings& settings,
                                       std::unique_ptr<SerialPort> port)
    : notifier(notifier), settings(settings), port(std::move(port)) {
    // Every run's end is announced, also one the worker ends by itself, so the
    // owner refreshes its commands without polling.
    SetRunEnded([this] { this->notifier.Post(EventRunEnded, 0); });
}

ModbusMasterSerial::~ModbusMasterSerial() {
    Stop(true);
    port->Close();
}

void ModbusMasterSerial::Run() {
    PollTimer pollTimer;
    timer = &pollTimer;
    cycle.emplace(settings, static_cast<PollCycleLink&>(*this), PollCycle::LinkKind::Serial);
    exchange = Exchange::Idle;
    current.reset();
    tickDeferred = false;
    tickPending = false;
    endRun = false;

    Post(EventConnectionState, static_cast<std::uintptr_t>(ConnectionState::Attempting));
    if (!port->Open(line)) {
        Trace(L"Cannot open " + SerialDeviceName(line) + L"\n");
        settings.connected = 0;
        Post(EventConnectionState, static_cast<std::uintptr_t>(ConnectionState::Failed));
        endRun = true;
    } else {
        cycle->ConnectionUp();
    }

    enum Source { Transmitted, Received, Ticked, Stopped };
    while (!endRun) {
        // A byte of a reply that arrived whole is at hand without a wait.
        if (port->ReadPending() && port->CompleteReadAtOnce()) {
            ReadComplete();
            continue;
        }
        if (tickPending) {
            // Due at once: taken here rather than through the timer event.
            // Stopping still wins.
            tickPending = false;
            if (StopEvent().IsSet()) {
                CloseRun();
            } else {
                HandleTick();
            }
            continue;
        }
        // Completions first: a reply byte that is ready is taken before a tick
        // that is ready at the same time.
        Waitable* sources[4];
        Source kinds[4];
        std::size_t count = 0;
        if (port->WritePending()) {
            sources[count] = &port->WriteCompletion();
            kinds[count++] = Transmitted;
        }
        if (port->ReadPending()) {
            sources[count] = &port->ReadCompletion();
            kinds[count++] = Received;
        }
        sources[count] = &pollTimer.Signal();
        kinds[count++] = Ticked;
        sources[count] = &StopEvent();
        kinds[count++] = Stopped;
        const int which = WaitForAny(std::span<Waitable* const>(sources, count), kWaitInfinite);
        const Source source = which >= 0 ? kinds[which] : Stopped;
        if (source == Transmitted) {
            TransmissionComplete();
        } else if (source == Received) {
            ReadComplete();
        } else if (source == Ticked) {
            HandleTick();
        } else {
            CloseRun();  // stopped, or the wait itself failed
        }
    }

    pollTimer.Cancel();
    port->Close();
    settings.connected = 0;
    settings.singlePollIndex = -1;
    cycle.reset();
    current.reset();
    exchange = Exchange::Idle;
    timer = nullptr;
}

void ModbusMasterSerial::CloseRun() {
    Trace(L"Close\n");
    port->Close();
    CancelTimer();
    Post(EventConnectionState, static_cast<std::uintptr_t>(ConnectionState::Closed));
    settings.connected = 0;
    current.reset();
    exchange = Exchange::Idle;
    endRun = true;
}

void ModbusMasterSerial::HandleTick() {
    Trace(L"Timer went off\n");
    switch (exchange) {
        case Exchange::Receiving:
        case Exchange::Draining:
            // A reply still arriving is read to its end, however long it takes
            // at a low baud rate; only a line that never falls silent is cut.
            if (frameBytes <= ModbusPacket::kMaxFrameBytes) {
                tickDeferred = true;
                return;
            }
            port->CancelRead();
            PostReceived(std::move(current));
            cycle->NoAnswer();
            break;
        case Exchange::Writing:
            // The line never took the request (flow control held it).
            port->CancelWrite();
            Post(EventConnectionState, static_cast<std::uintptr_t>(ConnectionState::Failed));
            cycle->NoAnswer();
            break;
        case Exchange::AwaitingReply:
            port->CancelRead();
            cycle->NoAnswer();
            break;
        case Exchange::Unsent:
            cycle->NoAnswer();
            break;
        case Exchange::Idle:
            break;
    }
    CycleTick();
}

void ModbusMasterSerial::CycleTick() {
    exchange = Exchange::Idle;
    current.reset();
    tickDeferred = false;
    if (cycle->Tick() == PollCycle::Outcome::EndRun) CloseRun();
}

bool ModbusMasterSerial::SendPoll(const Poll& poll) {
    settings.transactionCounter = static_cast<std::uint16_t>(settings.transactionCounter + 1);
    PacketPtr request = BuildRequestPacket(settings.protocol, settings.transactionCounter,
                                           settings.modbusaddress, poll, settings.datamap);
    sentPoll = poll;
    sentProtocol = settings.protocol;
    sentAddress = settings.modbusaddress;
    sentTransactionId = settings.transactionCounter;
    frameBytes = 0;
    tickDeferred = false;
    if (request->bytes.empty()) {
        // Nothing can be sent for this poll; shown as attempted and counted
        // at the tick, so the cycle moves past it.
        notifier.PostPacket(EventPacketSent, std::move(request));
        exchange = Exchange::Unsent;
        return false;
    }
    // A late answer to an earlier request must not pass for this one's.
    port->CancelRead();
    port->DiscardInput();
    if (!port->StartWrite(request->bytes)) {
        Trace(L"WriteFile failed\n");
        Post(EventConnectionState, static_cast<std::uintptr_t>(ConnectionState::Failed));
        exchange = Exchange::Unsent;
        return false;
    }
    current = std::move(request);
    exchange = Exchange::Writing;
    return true;
}

void ModbusMasterSerial::TransmissionComplete() {
    Trace(L"TX Complete\n");
    std::size_t written = 0;
    const bool ok = port->FinishWrite(written);
    if (exchange != Exchange::Writing || !current) return;
    if (!ok || written != current->bytes.size()) {
        TransferFailed();
        return;
    }
    // Posted once it is on the line, so the monitor's order is the wire's.
    notifier.PostPacket(EventPacketSent, std::move(current));
    PrepareReply();
    exchange = Exchange::AwaitingReply;
    ReadNext(std::max<std::uint32_t>(settings.timeout, 1));
}

void ModbusMasterSerial::PrepareReply() {
    current = MakeReceivedPacket(sentProtocol, {});
    // Only the sent poll's range: when polls overlap, another poll's range
    // would decode the reply with that poll's format.
    std::vector<AddressRange> ranges{AddressRange{sentPoll.FunctionCode(), sentPoll.start,
                                                  sentPoll.size, sentPoll.formatpreset}};
    current->PrepareReply(sentPoll, std::move(ranges));
    // On a shared line another slave's frame is not our data.
    current->acceptedAddresses = {sentAddress};
    frameBytes = 0;
}

bool ModbusMasterSerial::ReadNext(std::uint32_t timeoutMs) {
    if (port->StartRead(timeoutMs)) return true;
    TransferFailed();
    return false;
}

void ModbusMasterSerial::TransferFailed() {
    // What had arrived of a reply is still shown.
    if (current && !current->isRequest && !current->bytes.empty()) PostReceived(std::move(current));
    current.reset();
    Post(EventConnectionState, static_cast<std::uintptr_t>(ConnectionState::Failed));
    exchange = Exchange::Unsent;
    if (tickDeferred) {
        tickDeferred = false;
        cycle->NoAnswer();
        CycleTick();
    }
}

void ModbusMasterSerial::ReadComplete() {
    Trace(L"RX something\n");
    std::uint8_t byte = 0;
    std::size_t count = 0;
    if (!port->FinishRead(byte, count)) {
        Trace(L"GetOverlappedResult failed\n");
        TransferFailed();
        return;
    }
    if (count == 0) {
        Trace(L"no bytes\n");
        if (exchange == Exchange::AwaitingReply) {
            CountFailure();  // the reply never started
            return;
        }
        Trace(L"Message gap - parsing\n");
        MessageEnd();
        return;
    }
    ByteReceived(byte);
}

void ModbusMasterSerial::ByteReceived(std::uint8_t byte) {
    if (!current) return;
    ++frameBytes;
    if (tickDeferred && frameBytes > ModbusPacket::kMaxFrameBytes) {
        // The timeout has passed and the line has run on past any frame's
        // length without falling silent: what came is shown, and counted.
        PostReceived(std::move(current));
        CountFailure();
        return;
    }
    if (exchange == Exchange::Draining) {
        if (current->bytes.size() < ModbusPacket::kMaxFrameBytes) current->bytes.push_back(byte);
        ReadNext(MessageGapMs);
        return;
    }
    exchange = Exchange::Receiving;
    const ParseResult result = current->ParseByte(byte);
    if (result == ParseByteOk && FrameKnownComplete(*current)) {
        // An RTU frame carries no end of its own, but the function code and
        // the count fix its length and the CRC confirms it: waiting for the
        // silence after it would only add MessageGapMs to every exchange.
        Trace(L"Message parse done\n");
        MessageEnd();
        return;
    }
    if (result == ParseByteOk) {
        Trace(L"byte parse. next\n");
    } else if (result == ParseMessageDone) {
        Trace(L"Message parse done\n");
        MessageEnd();
        return;
    } else if (result < 0) {
        Trace(std::wstring(ParseResultText(result)) + L" - Aborting\n");
        // The rest of the frame is read to the gap so it is shown whole.
        exchange = Exchange::Draining;
    } else {
        Trace(std::wstring(ParseResultText(result)) + L" - Carrying on\n");
    }
    ReadNext(MessageGapMs);
}

void ModbusMasterSerial::MessageEnd() {
    PacketPtr reply = std::move(current);
    const bool abandoned = exchange == Exchange::Draining;
    exchange = Exchange::Idle;
    if (!reply) return;
    if (abandoned) {
        PostReceived(std::move(reply));
        CountFailure();
        return;
    }
    const ParseResult check = reply->CheckFrame();
    const bool otherTransaction = sentProtocol == 0 && reply->state == PacketField::end &&
                                  reply->transactionId != sentTransactionId;
    if (check == ParseNotOurAddress || (check == ParseByteOk && otherTransaction)) {
        PostReceived(std::move(reply));
        AwaitAnotherFrame();
        return;
    }
    if (check == ParseByteOk) {
        ApplyReply(std::move(reply));
        return;
    }
    PostReceived(std::move(reply));
    if (check == ParseExceptionReply) {
        CountFailure();
        return;
    }
    // A frame with a fault the parser only reported (cut short, a bad CRC or
    // count): it is the reply, shown but storing nothing.
    tickDeferred = false;
    if (cycle->ReplyComplete() == PollCycle::Outcome::EndRun) CloseRun();
}

void ModbusMasterSerial::AwaitAnotherFrame() {
    if (tickDeferred) {
        CountFailure();
        return;
    }
    PrepareReply();
    exchange = Exchange::AwaitingReply;
    ReadNext(std::max<std::uint32_t>(settings.timeout, 1));
}

void ModbusMasterSerial::ApplyReply(PacketPtr reply) {
    // Every decoded address is announced, stored or not, in ascending order,
    // and before the packet.
    for (const auto& [address, item] : reply->items) {
        settings.datamap.UpdateItem(address, item);
        Post(EventItemChanged, address);
    }
    notifier.PostPacket(EventPacketReceived, std::move(reply));
    tickDeferred = false;
    if (cycle->ReplyComplete() == PollCycle::Outcome::EndRun) CloseRun();
}

void ModbusMasterSerial::CountFailure() {
    current.reset();
    exchange = Exchange::Idle;
    cycle->NoAnswer();
    if (tickDeferred) CycleTick();
}

void ModbusMasterSerial::PostReceived(PacketPtr packet) {
    if (packet) notifier.PostPacket(EventPacketReceived, std::move(packet));
}

void ModbusMasterSerial::ArmTimer(std::uint32_t milliseconds) {
    if (milliseconds == 0) {
        // At once, without a round trip through the timer's event and the
        // wait. A tick the timer gave just before is dropped with it.
        CancelTimer();
        tickPending = true;
        return;
    }
    timer->Arm(milliseconds);
}

void ModbusMasterSerial::CancelTimer() {
    tickPending = false;
    if (timer != nullptr) timer->Cancel();
}

void ModbusMasterSerial::TickNow() { timer->Signal().Set(); }

void ModbusMasterSerial::Post(std::uint32_t event, std::uintptr_t parameter) {
    notifier.Post(event, parameter);
}
