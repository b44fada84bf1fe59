#pragma once

#include <atomic>

// Counts the live objects of the class that holds one as a member. Objects
// that travel between threads and windows by pointer (packets) are counted,
// so tests and benchmarks can show that every one of them is freed.
template <typename T>
class InstanceCount {
  public:
    InstanceCount() { live_.fetch_add(1, std::memory_order_relaxed); }
    InstanceCount(const InstanceCount&) : InstanceCount() {}
    InstanceCount& operator=(const InstanceCount&) { return *this; }
    ~InstanceCount() { live_.fetch_sub(1, std::memory_order_relaxed); }

    static long Live() { return live_.load(std::memory_order_relaxed); }

  private:
    static inline std::atomic<long> live_{0};
};
