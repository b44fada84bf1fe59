#include "engine/CriticalSection.h"

#include <windows.h>

struct CriticalSection::Native {
    CRITICAL_SECTION section;
};

CriticalSection::CriticalSection() : native_(new Native) {
    InitializeCriticalSection(&native_->section);
}

CriticalSection::~CriticalSection() {
    DeleteCriticalSection(&native_->section);
    delete native_;
}

void CriticalSection::lock() { EnterCriticalSection(&native_->section); }
void CriticalSection::unlock() { LeaveCriticalSection(&native_->section); }
