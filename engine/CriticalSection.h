#pragma once

// A lock that the thread holding it may take again (a handler inside a Send
// delivery may Post or Send once more). A Win32 critical section on Windows.
// Usable with std::lock_guard.
class CriticalSection {
  public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void lock();
    void unlock();

  private:
    struct Native;
    Native* native_;
};
