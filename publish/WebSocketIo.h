#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The few socket calls the web listener makes on an accepted connection, in
// one interface over BSD sockets and Winsock. The handle is the system's
// socket value widened to an integer.
namespace WebSocketIo {

// Small answers go out at once instead of waiting for the peer's delayed
// acknowledgement (Nagle's algorithm would hold each answer for up to 40 ms
// on Linux and 200 ms on Windows).
void DisableNagle(std::uintptr_t socket);

enum class Wait { Ready, TimedOut, Failed };
// Waits up to timeoutMs for bytes (or the end of the stream) to arrive.
Wait WaitReadable(std::uintptr_t socket, int timeoutMs);
// Waits up to timeoutMs until the socket takes more bytes.
Wait WaitWritable(std::uintptr_t socket, int timeoutMs);

// Waits up to timeoutMs until any of the sockets has bytes (or its end, or
// an error) to report; ready[i] tells which. Ready when at least one is.
Wait WaitAnyReadable(const std::uintptr_t* sockets, std::size_t count, bool* ready, int timeoutMs);

// One recv/send; the count, 0 at the end of the stream, or -1 on an error.
long Receive(std::uintptr_t socket, char* buffer, std::size_t size);
long Send(std::uintptr_t socket, const char* bytes, std::size_t size);

// The numeric address and port of the peer or of the local end; empty and 0
// when the system cannot tell.
void PeerAddress(std::uintptr_t socket, std::string& ip, int& port);
void LocalAddress(std::uintptr_t socket, std::string& ip, int& port);

}  // namespace WebSocketIo

namespace WebSocketIo {
// Shuts the connection down both ways and releases the socket.
void Close(std::uintptr_t socket);
}  // namespace WebSocketIo

// The system calls behind the functions above, one file per platform.
namespace WebSocketIo::Os {
// One poll of the socket for reading or writing: above 0 ready, 0 timed out,
// below 0 failed (an interrupted call is repeated).
int Poll(std::uintptr_t socket, bool writable, int timeoutMs);
// One poll of several sockets for reading; the same results, and ready[i]
// set for each socket with something to report.
int PollReadable(const std::uintptr_t* sockets, std::size_t count, bool* ready, int timeoutMs);
// The numeric host and port of the peer or the local end; false when the
// system cannot tell.
bool Name(std::uintptr_t socket, bool peer, char* host, std::size_t hostSize, char* service,
          std::size_t serviceSize);
}  // namespace WebSocketIo::Os

namespace WebSocketIo {
// Options of the listening socket. A restart may bind the port again while
// old connections linger, but a port that another program (or a second copy
// of this one) listens on must be refused, not shared.
void SetListenerOptions(std::uintptr_t socket);
// Lets connections queue up to the system's limit before they are
// accepted: the library listens with room for 5, and a burst of browser tabs
// or a port scan would have the rest retried by their clients a second later.
void WidenBacklog(std::uintptr_t socket);
}  // namespace WebSocketIo
