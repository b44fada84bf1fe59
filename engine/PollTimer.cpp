#include "engine/PollTimer.h"

PollTimer::PollTimer() : entry(queue.Add(SignalEvent, &signal)) {}

void PollTimer::Arm(std::uint32_t milliseconds) { queue.Arm(entry, milliseconds); }

void PollTimer::Cancel() {
    queue.Cancel(entry);
    signal.Reset();
}

void PollTimer::FireNow() {
    queue.Cancel(entry);
    signal.Set();
}
