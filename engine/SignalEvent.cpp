#include "engine/Event.h"
#include "engine/TimerQueue.h"

bool SignalEvent(void* argument, bool) {
    static_cast<Event*>(argument)->Set();
    return false;
}
