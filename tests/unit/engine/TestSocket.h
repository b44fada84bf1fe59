#pragma once

#include <cstddef>
#include <cstdint>

// The few blocking-with-timeout socket calls the fake slave needs, written
// separately from the engine's sockets so that the tests do not check the
// engine with itself.
namespace TestSocket {

using Handle = std::intptr_t;
constexpr Handle Invalid = -1;

// Listens on 127.0.0.1; port 0 picks a free port and returns it in port.
Handle Listen(std::uint16_t& port);
// Invalid when nobody connected within timeoutMs.
Handle Accept(Handle listener, int timeoutMs);
constexpr int TimedOut = -2;
// Bytes read (> 0), 0 when the peer closed, -1 on an error, TimedOut.
int Receive(Handle connection, std::uint8_t* buffer, std::size_t length, int timeoutMs);
bool SendAll(Handle connection, const std::uint8_t* bytes, std::size_t length);
void Close(Handle handle);

}  // namespace TestSocket
