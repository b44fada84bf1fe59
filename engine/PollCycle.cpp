#include "engine/PollCycle.h"

#include "engine/NotifyEvents.h"

PollCycle::PollCycle(CommsSettings& settings, PollCycleLink& link, LinkKind kind)
    : settings(settings), link(link), kind(kind) {}

void PollCycle::ConnectionUp() {
    settings.connected = 1;
    link.Post(EventConnectionState, static_cast<std::uintptr_t>(ConnectionState::Connected));
    retryCount = 0;
    awaitingReply = false;
    link.TickNow();
}

PollCycle::Outcome PollCycle::Tick() {
    if (SingleMode()) {
        if (awaitingReply) return GiveUpSingle();
        settings.pollIndex = static_cast<std::uint32_t>(settings.singlePollIndex);
        return Send();
    }
    if (kind == LinkKind::Tcp) {
        if (awaitingReply) {
            CountTimeout();
        } else if (settings.polls.empty()) {
            // Nothing to send: stay connected and look again a poll rate later.
            link.ArmTimer(settings.pollrate);
            return Outcome::Continue;
        }
    }
    return Send();
}

PollCycle::Outcome PollCycle::Send() {
    if (settings.pollIndex >= settings.polls.size()) {
        // A single poll that no longer exists cannot be sent: end the run
        // rather than sit connected doing nothing.
        if (SingleMode()) return GiveUpSingle();
        if (settings.polls.empty()) {
            link.ArmTimer(settings.pollrate);
            return Outcome::Continue;
        }
        settings.pollIndex = 0;
    }
    // A request the link did not take whole is treated as one that got no
    // answer: its timeout counts it, so the cycle never stalls while the
    // status says connected.
    link.SendPoll(settings.polls[settings.pollIndex]);
    awaitingReply = true;
    link.ArmTimer(settings.timeout);
    return Outcome::Continue;
}

PollCycle::Outcome PollCycle::ReplyComplete() {
    retryCount = 0;
    link.CancelTimer();
    awaitingReply = false;
    if (SingleMode()) {
        settings.singlePollIndex = -1;
        return Outcome::EndRun;
    }
    Advance();
    link.ArmTimer(settings.pollrate);
    return Outcome::Continue;
}

void PollCycle::NoAnswer() { CountTimeout(); }

void PollCycle::ConnectionLost() {
    link.CancelTimer();
    awaitingReply = false;
}

PollCycle::Outcome PollCycle::GiveUpSingle() {
    link.CancelTimer();
    awaitingReply = false;
    link.Post(EventTimeoutGiveUp, 0);
    settings.singlePollIndex = -1;
    return Outcome::EndRun;
}

void PollCycle::CountTimeout() {
    retryCount += 1;
    // retries 0 is never reached: such a poll is repeated without end.
    if (retryCount == settings.retries) {
        Advance();
        retryCount = 0;
        link.Post(EventTimeoutGiveUp, 0);
    } else {
        link.Post(EventTimeoutRetry, 0);
    }
}

void PollCycle::Advance() {
    settings.pollIndex += 1;
    if (settings.pollIndex >= settings.polls.size()) settings.pollIndex = 0;
}
