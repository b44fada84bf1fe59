#include "engine/Thread.h"

#include <utility>

#include "engine/ProgrammingError.h"

Thread::Thread() { startable_ = stopEvent_.IsValid() && endedEvent_.IsValid(); }

Thread::~Thread() {
    bool running = false;
    {
        std::lock_guard guard(lock_);
        running = running_;
    }
    if (running) ReportProgrammingError(L"Error: Call Stop() in derived destructor", L"Thread");
    stopEvent_.Set();
    JoinWorkers();
}

void Thread::JoinWorkers() {
    ThreadHandle workers[2];
    {
        std::lock_guard guard(lock_);
        workers[0] = std::move(handle_);
        workers[1] = std::move(retired_);
    }
    for (ThreadHandle& worker : workers) {
        if (worker.IsCurrent()) {
            // Called on that worker itself (a destructor or Stop inside Run):
            // keep it for whoever comes next.
            std::lock_guard guard(lock_);
            (handle_.Holds() ? retired_ : handle_) = std::move(worker);
        } else {
            worker.Join();
        }
    }
}

bool Thread::Start() {
    ThreadHandle previous;
    ThreadHandle older;
    {
        std::lock_guard guard(lock_);
        if (!startable_ || running_) return false;
        previous = std::move(handle_);
        if (previous.IsCurrent()) {
            older = std::move(retired_);
            retired_ = std::move(previous);
        }
    }
    // The previous worker has left Run but may still be in its last steps; let
    // it finish so that never two runs of this object overlap. Started from
    // that worker's own end announcement it is retired instead (see retired_).
    previous.Join();
    older.Join();

    std::lock_guard guard(lock_);
    if (!startable_ || running_ || handle_.Holds()) return false;
    ++generation_;
    stopEvent_.Reset();
    endedEvent_.Reset();
    running_ = true;
    if (!handle_.Begin(&Thread::Entry, this)) {
        running_ = false;
        endedEvent_.Set();
        return false;
    }
    return true;
}

void Thread::Stop(bool wait) {
    stopEvent_.Set();
    if (wait) JoinWorkers();
}

bool Thread::IsRunning() const {
    std::lock_guard guard(lock_);
    return running_;
}

bool Thread::WaitForEnd(uint32_t timeoutMs) { return endedEvent_.Wait(timeoutMs); }

void Thread::SetRunEnded(std::function<void()> callback) {
    std::lock_guard guard(lock_);
    runEnded_ = std::move(callback);
}

void Thread::SetStartable(bool startable) {
    std::lock_guard guard(lock_);
    startable_ = startable && stopEvent_.IsValid() && endedEvent_.IsValid();
}

void Thread::Entry(void* argument) {
    auto* self = static_cast<Thread*>(argument);
    uint64_t generation = 0;
    {
        std::lock_guard guard(self->lock_);
        generation = self->generation_;
    }
    // Nothing may unwind out of a thread's entry: a failing run simply ends.
    try {
        self->Run();
    } catch (...) {
    }
    std::function<void()> runEnded;
    {
        std::lock_guard guard(self->lock_);
        self->running_ = false;
        runEnded = self->runEnded_;
    }
    if (runEnded) runEnded();
    std::lock_guard guard(self->lock_);
    if (self->generation_ == generation) self->endedEvent_.Set();
}
