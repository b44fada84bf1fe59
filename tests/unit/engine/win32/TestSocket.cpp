#include "TestSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace TestSocket {

namespace {

struct Library {
    Library() {
        WSADATA data;
        WSAStartup(0x0202, &data);
    }
    ~Library() { WSACleanup(); }
} library;

SOCKET Sock(Handle handle) { return static_cast<SOCKET>(handle); }

bool Readable(Handle handle, int timeoutMs) {
    WSAPOLLFD fd{Sock(handle), POLLRDNORM, 0};
    return WSAPoll(&fd, 1, timeoutMs) > 0;
}

}  // namespace

Handle Listen(std::uint16_t& port) {
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(s, 8) != 0 || getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        Close(static_cast<Handle>(s));
        return Invalid;
    }
    port = ntohs(address.sin_port);
    return static_cast<Handle>(s);
}

Handle Accept(Handle listener, int timeoutMs) {
    if (!Readable(listener, timeoutMs)) return Invalid;
    const SOCKET s = accept(Sock(listener), nullptr, nullptr);
    if (s == INVALID_SOCKET) return Invalid;
    u_long blocking = 0;  // whatever Wine's listener hands on, the slave blocks
    ioctlsocket(s, FIONBIO, &blocking);
    const BOOL on = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    return static_cast<Handle>(s);
}

int Receive(Handle connection, std::uint8_t* buffer, std::size_t length, int timeoutMs) {
    if (!Readable(connection, timeoutMs)) return TimedOut;
    const int got =
        recv(Sock(connection), reinterpret_cast<char*>(buffer), static_cast<int>(length), 0);
    return got < 0 ? -1 : got;
}

bool SendAll(Handle connection, const std::uint8_t* bytes, std::size_t length) {
    return send(Sock(connection), reinterpret_cast<const char*>(bytes), static_cast<int>(length),
                0) == static_cast<int>(length);
}

void Close(Handle handle) {
    if (handle != Invalid) closesocket(Sock(handle));
}

}  // namespace TestSocket
