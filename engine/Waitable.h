#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// A worker sleeps until any one of several things needs it: its stop event, its
// timer event, its link. Everything it can wait on is a Waitable, so a socket or
// a serial port joins the same wait as the events without a second mechanism.

// What the operating system waits on for one source. On Windows `native` is an
// event HANDLE and `interest` is ignored; elsewhere `native` is a file
// descriptor polled for the conditions in `interest`.
//
// A socket joins a wait as its own Waitable: on Windows it hands out the Event
// it was bound to with WSAEventSelect (FD_READ | FD_CONNECT | FD_CLOSE) and
// reads what happened with WSAEnumNetworkEvents; elsewhere it hands out its
// descriptor with Readable (plus Writable while a non-blocking connect is under
// way) and its Acquire returns true, since the socket's state stays until read.
// An error or hang-up on a descriptor also ends the wait for that source.
struct WaitHandle {
    enum : uint32_t { Readable = 1, Writable = 2 };
    intptr_t native = -1;
    uint32_t interest = Readable;
};

class Waitable {
  public:
    virtual WaitHandle GetWaitHandle() const = 0;
    // Called once the wait found the source ready, before the wait reports it.
    // An auto-reset source consumes its signal here; false means another waiter
    // took it first and the wait goes on.
    virtual bool Acquire() = 0;

  protected:
    ~Waitable() = default;
};

inline constexpr uint32_t kWaitInfinite = UINT32_MAX;
inline constexpr int kWaitTimeout = -1;
inline constexpr int kWaitFailed = -2;
// WSAWaitForMultipleEvents takes at most this many handles.
inline constexpr size_t kWaitMaxSources = 64;

// Waits until one of the sources is ready and returns its index; when several
// are ready the lowest index wins, as with WSAWaitForMultipleEvents. Returns
// kWaitTimeout after timeoutMs (kWaitInfinite: never), kWaitFailed when the
// list is empty, too long or the system wait fails.
int WaitForAny(std::span<Waitable* const> sources, uint32_t timeoutMs);
