#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/Waitable.h"

// A non-blocking IPv4 TCP stream. The Windows backend uses Winsock with
// WSAEventSelect, the POSIX backend BSD sockets with poll(); both present the
// same events to the master, so the master's logic is one portable source.

class Socket {
  public:
    // INVALID_SOCKET on Windows; -1 on POSIX. Both are all bits set.
    static constexpr std::uintptr_t InvalidHandle = ~std::uintptr_t{0};

    Socket() = default;
    virtual ~Socket();
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool IsOpen() const { return handle != InvalidHandle; }

    // Shuts the stream down both ways, drops what has already arrived and
    // releases the socket. Closing a closed socket does nothing.
    void Close();

    // Hands bytes to the stream without waiting; returns how many it took
    // (possibly fewer than length) or -1 on an error.
    int Send(const std::uint8_t* bytes, std::size_t length);

    enum class ReadStatus { Ok, PeerClosed, Failed };
    // Appends everything that has arrived to into, without waiting. Reports
    // PeerClosed when the peer has ended the stream (after the bytes that came
    // before the end), Failed on a connection error.
    ReadStatus ReadAvailable(std::vector<std::uint8_t>& into);

  protected:
    std::uintptr_t handle = InvalidHandle;
};

// The master's side of the link: resolves the slave, connects without
// blocking and reports what happened on the stream. It joins the worker's
// WaitForAny beside its events while a stream is open.
class SocketClient : public Socket, public Waitable {
  public:
    SocketClient();
    ~SocketClient() override;

    // The first IPv4 address of host (a name or a dotted address), in network
    // byte order. False when it cannot be resolved.
    static bool Resolve(const std::string& host, std::uint32_t& address);

    // Closes any earlier stream and starts connecting to address:port. False
    // only when no socket could be created; every refusal or network error
    // is reported later through the connect event, so both backends behave
    // the same whatever the system decides to report at once.
    bool Connect(std::uint32_t address, std::uint16_t port);

    struct NetworkEvents {
        bool connected = false;      // the connection attempt succeeded
        bool connectFailed = false;  // the connection attempt failed
        bool readable = false;       // bytes (or the end of the stream) wait
        bool closed = false;         // the peer closed the stream
    };

    // What the stream reported since the last call (after a wait found it
    // ready).
    NetworkEvents TakeNetworkEvents();

    // Waitable: the Winsock event bound to the stream on Windows; the
    // descriptor, watched for writing while connecting, elsewhere. Only an
    // open stream takes part in a wait.
    WaitHandle GetWaitHandle() const override;
    bool Acquire() override;

  private:
    // The Winsock event on Windows.
    std::uintptr_t platformState;
    // POSIX: a connection attempt is under way, and an error connect()
    // reported at once, handed on at the next wait.
    bool connecting = false;
    int deferredError = 0;
};
