#include "engine/CriticalSection.h"

#include <mutex>

struct CriticalSection::Native {
    std::recursive_mutex mutex;
};

CriticalSection::CriticalSection() : native_(new Native) {}
CriticalSection::~CriticalSection() { delete native_; }
void CriticalSection::lock() { native_->mutex.lock(); }
void CriticalSection::unlock() { native_->mutex.unlock(); }
