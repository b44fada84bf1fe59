#pragma once

#include <cstdint>

#include "engine/CommsSettings.h"

// What a master offers the poll cycle: its way of sending a request, its one
// poll timer and its notifier. The cycle decides when; the master decides how.
class PollCycleLink {
  public:
    virtual ~PollCycleLink() = default;
    // Builds the request for poll, posts it and hands it to the link. False
    // when the link did not take the whole request.
    virtual bool SendPoll(const Poll& poll) = 0;
    virtual void ArmTimer(std::uint32_t milliseconds) = 0;
    virtual void CancelTimer() = 0;
    // Makes the next tick happen at once (sets the timer event directly).
    virtual void TickNow() = 0;
    virtual void Post(std::uint32_t event, std::uintptr_t parameter) = 0;
};

// The poll cycle both masters run on their worker thread: send the current
// poll, wait for its reply or its timeout, count timeouts against the retry
// limit, move on a poll rate after each reply. It holds no thread, socket or
// clock of its own, so every step can be driven and checked directly.
class PollCycle {
  public:
    // The TCP master counts a timeout when the timer expires on an
    // outstanding request; the serial master counts it when the reply does
    // not start (NoAnswer) and sends at every tick.
    enum class LinkKind { Tcp, Serial };
    // EndRun: the run is over (single mode done or given up); the master
    // closes its link, posts Closed and returns from Run.
    enum class Outcome { Continue, EndRun };

    PollCycle(CommsSettings& settings, PollCycleLink& link, LinkKind kind);

    // The link is up: report it and make the first tick happen at once.
    void ConnectionUp();
    // The poll timer expired (or was set by ConnectionUp).
    Outcome Tick();
    // The link delivered the reply to the outstanding request; the master has
    // already posted the packet and the changed items.
    Outcome ReplyComplete();
    // Serial link: the reply to the outstanding request did not start.
    void NoAnswer();
    // The link went down: no reply can come for what is outstanding, and no
    // tick may send into a closed link.
    void ConnectionLost();

    bool AwaitingReply() const { return awaitingReply; }
    std::uint32_t RetryCount() const { return retryCount; }
    bool SingleMode() const { return settings.singlePollIndex != -1; }

  private:
    Outcome Send();
    Outcome GiveUpSingle();
    void Advance();
    void CountTimeout();

    CommsSettings& settings;
    PollCycleLink& link;
    LinkKind kind;
    bool awaitingReply = false;
    std::uint32_t retryCount = 0;
};
