#pragma once

#include <cstdint>

#include "engine/Event.h"
#include "engine/TimerQueue.h"

// The poll timer of one master run: a one-shot timer whose expiry sets an
// auto-reset event the worker waits on.
class PollTimer {
  public:
    PollTimer();
    PollTimer(const PollTimer&) = delete;
    PollTimer& operator=(const PollTimer&) = delete;

    // Set when the timer expires (or FireNow is called).
    Event& Signal() { return signal; }
    void Arm(std::uint32_t milliseconds);
    // Also drops an expiry the timer gave just before: that tick is stale and
    // must not send the next poll early.
    void Cancel();
    // Sets the signal at once, without a round trip through the timer thread.
    void FireNow();

  private:
    // Declared in this order so that the queue, and with it every callback
    // that could set the event, is gone before the event.
    Event signal{Event::AutoReset};
    TimerQueue queue;
    TimerEntry& entry;
};
