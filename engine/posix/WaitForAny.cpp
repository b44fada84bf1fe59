#include <poll.h>

#include <cerrno>
#include <chrono>

#include "engine/Waitable.h"

namespace {

using Clock = std::chrono::steady_clock;

short PollEvents(uint32_t interest) {
    short events = 0;
    if (interest & WaitHandle::Readable) events |= POLLIN;
    if (interest & WaitHandle::Writable) events |= POLLOUT;
    return events;
}

int RemainingMs(Clock::time_point deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

int WaitForAny(std::span<Waitable* const> sources, uint32_t timeoutMs) {
    if (sources.empty() || sources.size() > kWaitMaxSources) return kWaitFailed;
    pollfd fds[kWaitMaxSources];
    for (size_t i = 0; i < sources.size(); ++i) {
        WaitHandle handle = sources[i]->GetWaitHandle();
        if (handle.native < 0) return kWaitFailed;
        fds[i] = {static_cast<int>(handle.native), PollEvents(handle.interest), 0};
    }
    const bool forever = timeoutMs == kWaitInfinite;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    // An auto-reset source that another waiter emptied first sends us round
    // again with whatever time is left.
    for (;;) {
        int ready = poll(fds, sources.size(), forever ? -1 : RemainingMs(deadline));
        if (ready < 0 && errno != EINTR) return kWaitFailed;
        for (size_t i = 0; ready > 0 && i < sources.size(); ++i) {
            if (fds[i].revents & POLLNVAL) return kWaitFailed;
            if (fds[i].revents != 0 && sources[i]->Acquire()) return static_cast<int>(i);
        }
        if (!forever && RemainingMs(deadline) == 0) return kWaitTimeout;
    }
}
