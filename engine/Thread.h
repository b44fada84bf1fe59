#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

#include "engine/Event.h"
#include "engine/ThreadHandle.h"

// Base of every background worker (the Modbus masters, the web server). It owns
// the thread and the stop event and fixes how a worker is started, asked to
// stop, waited for and restarted. Workers are members of their owners and are
// never deleted through a Thread pointer, hence the protected destructor.
//
// The object, not the worker, owns the thread handle: a worker that ends by
// itself only marks the run over, and the next Start reaps the old thread. So
// a run that ends within microseconds of Start can never leave a handle behind
// that makes every later Start refuse.
class Thread {
  public:
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Refused (false) while a run is going on, when the object is not startable
    // or when the system cannot create the thread. Clears a stop left over from
    // the previous run, so that stop does not end the new one. Waits for the
    // last steps of the previous worker (its end announcement), so, like
    // Stop(true), it is not called inside a Notifier::Send delivery.
    bool Start();
    // Asks the worker to stop; with wait, returns once the worker thread has
    // ended. Called on the worker itself it never waits.
    virtual void Stop(bool wait);
    // True from a successful Start until Run has returned.
    bool IsRunning() const;
    // Waits up to timeoutMs for the current run to end; true when no run is
    // going on (any more).
    bool WaitForEnd(uint32_t timeoutMs);
    // Called on the worker thread at the end of every run, whether stopped or
    // ended by itself, once IsRunning is false and Start would succeed. The
    // owner hears of the end without polling (the masters' owner posts an
    // event). The callback must not wait for the thread that owns this object.
    void SetRunEnded(std::function<void()> callback);

  protected:
    Thread();
    // A derived destructor calls Stop(true) first; finding the worker still
    // running here is a programming error, reported, and the worker is then
    // stopped and waited for rather than left running on a dead object.
    ~Thread();

    // The worker's body. It must return soon after StopEvent() is set.
    virtual void Run() = 0;
    Event& StopEvent() { return stopEvent_; }
    void SetStartable(bool startable);

  private:
    static void Entry(void* argument);
    // Waits for the threads this object holds, except the calling one.
    void JoinWorkers();

    mutable std::mutex lock_;
    ThreadHandle handle_;
    // A worker that started the next run from its own end announcement cannot
    // wait for itself; it is joined by the next Start, Stop(true) or the
    // destructor, so no thread of this object outlives it.
    ThreadHandle retired_;
    Event stopEvent_{Event::ManualReset};
    // Set while no run is going on; the thread that ran last may still be
    // finishing its last steps.
    Event endedEvent_{Event::ManualReset, true};
    std::function<void()> runEnded_;
    bool startable_ = true;
    bool running_ = false;
    // Counts runs, so the tail of a run that was followed at once by a new Start
    // (from inside its own end callback) cannot mark the new run ended.
    uint64_t generation_ = 0;
};
