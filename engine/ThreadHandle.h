#pragma once

// One operating-system thread: _beginthreadex on Windows, std::thread
// elsewhere. Thread builds its start, stop and restart rules on this.
class ThreadHandle {
  public:
    using Entry = void (*)(void* argument);

    ThreadHandle() = default;
    // A handle still holding a thread detaches it; owners join first.
    ~ThreadHandle();
    ThreadHandle(const ThreadHandle&) = delete;
    ThreadHandle& operator=(const ThreadHandle&) = delete;
    ThreadHandle(ThreadHandle&& other) noexcept : native_(other.native_) {
        other.native_ = nullptr;
    }
    ThreadHandle& operator=(ThreadHandle&& other) noexcept;

    // Starts entry(argument) on a new thread; false when the system refused.
    bool Begin(Entry entry, void* argument);
    bool Holds() const { return native_ != nullptr; }
    // True on the thread this handle holds.
    bool IsCurrent() const;
    // Waits for the thread to end, then lets go of it.
    void Join();
    // Lets go of the thread without waiting.
    void Detach();

  private:
    struct Native;
    Native* native_ = nullptr;
};
