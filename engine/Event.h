#pragma once

#include "engine/Waitable.h"

// A signal one thread sets and another waits for, alone or together with other
// sources (WaitForAny). A manual-reset event stays set until Reset and releases
// every waiter; an auto-reset event releases one waiter and clears itself.
class Event final : public Waitable {
  public:
    enum ResetMode : bool { AutoReset = false, ManualReset = true };

    explicit Event(ResetMode mode, bool initiallySet = false);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    // False when the system refused the event; every later call then fails too.
    bool IsValid() const;
    bool Set();
    bool Reset();
    // Whether a manual-reset event is set, without waiting. Not for an
    // auto-reset event: on Windows the test itself would consume the signal.
    bool IsSet() const;
    // True when the event was (and, for auto-reset, no longer is) set within
    // timeoutMs; false on timeout or failure.
    bool Wait(uint32_t timeoutMs);
    bool IsManualReset() const { return manual_; }

    WaitHandle GetWaitHandle() const override;
    bool Acquire() override;

  private:
    struct Native;
    Native* native_;
    bool manual_;
};
