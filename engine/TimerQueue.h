#pragma once

#include <cstdint>
#include <deque>

// One-shot timers whose callbacks run on a timer thread of their own (the
// system's timer pool on Windows, one thread per queue elsewhere) and do no
// more than signal an event a worker waits on.
//
// Cancel and the destructor wait for a callback that is already running, so
// once they return no callback of that timer can run any more: a worker may
// close the event its timer signals right after destroying the queue. For the
// same reason a callback never arms, cancels or destroys its own queue (on
// Windows it would wait for itself).
//
// Cancel cannot take back a signal a timer gave just before: a worker that
// cancels its poll timer and must not see a stale tick resets its timer event
// after the Cancel.

// Returns true when the timer is finished with and may be released at once;
// either way a timer fires once per Arm.
using TimerCallback = bool (*)(void* argument, bool timerOrWaitFired);

// The callback the engine uses: sets the Event that argument points to.
bool SignalEvent(void* argument, bool timerOrWaitFired);

class TimerEntry {
  public:
    TimerEntry(TimerCallback callback, void* argument) : callback(callback), argument(argument) {}
    TimerEntry(const TimerEntry&) = delete;
    TimerEntry& operator=(const TimerEntry&) = delete;

    const TimerCallback callback;
    void* const argument;

  private:
    friend class TimerQueue;
    // Windows: the timer-queue timer while armed (or fired and not yet
    // released), null when none.
    void* timer_ = nullptr;
    // Elsewhere: the entry's own timerfd (-1 when the system refused one) and
    // whether it may still expire, so that cancelling an idle entry costs no
    // system call.
    int descriptor_ = -1;
    bool armed_ = false;
};

class TimerQueue {
  public:
    TimerQueue();
    ~TimerQueue();
    TimerQueue(const TimerQueue&) = delete;
    TimerQueue& operator=(const TimerQueue&) = delete;

    // False when the system refused the queue; Arm then always fails.
    bool IsValid() const;
    // The entry lives as long as the queue; entries are never removed.
    TimerEntry& Add(TimerCallback callback, void* argument);
    // Fires the entry's callback once, dueMilliseconds from now. An entry still
    // armed is cancelled first, so only the latest Arm fires.
    bool Arm(TimerEntry& entry, uint32_t dueMilliseconds);
    // After Cancel returns the entry's callback neither runs nor will run until
    // the next Arm. Cancelling an unarmed entry does nothing.
    void Cancel(TimerEntry& entry);

  private:
    struct Native;
    Native* native_;
    std::deque<TimerEntry> entries_;
};
