#include <winsock2.h>

#include "engine/Waitable.h"

// WSAWaitForMultipleEvents rather than WaitForMultipleObjects: the masters wait
// on the event a socket was bound to with WSAEventSelect together with their own
// events, and Winsock documents its events for this call.
int WaitForAny(std::span<Waitable* const> sources, uint32_t timeoutMs) {
    if (sources.empty() || sources.size() > kWaitMaxSources) return kWaitFailed;
    WSAEVENT handles[kWaitMaxSources];
    for (size_t i = 0; i < sources.size(); ++i) {
        intptr_t native = sources[i]->GetWaitHandle().native;
        if (native == 0 || native == -1) return kWaitFailed;
        handles[i] = reinterpret_cast<WSAEVENT>(native);
    }
    DWORD timeout = timeoutMs == kWaitInfinite ? WSA_INFINITE : timeoutMs;
    for (;;) {
        DWORD result = WSAWaitForMultipleEvents(static_cast<DWORD>(sources.size()), handles, FALSE,
                                                timeout, FALSE);
        if (result == WSA_WAIT_TIMEOUT) return kWaitTimeout;
        if (result >= WSA_WAIT_EVENT_0 && result < WSA_WAIT_EVENT_0 + sources.size()) {
            size_t index = result - WSA_WAIT_EVENT_0;
            if (sources[index]->Acquire()) return static_cast<int>(index);
            continue;
        }
        return kWaitFailed;
    }
}
