#include "TestSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace TestSocket {

namespace {

bool Readable(Handle handle, int timeoutMs) {
    pollfd fd{static_cast<int>(handle), POLLIN, 0};
    return poll(&fd, 1, timeoutMs) > 0;
}

}  // namespace

Handle Listen(std::uint16_t& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(fd, 8) != 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        Close(fd);
        return Invalid;
    }
    port = ntohs(address.sin_port);
    return fd;
}

Handle Accept(Handle listener, int timeoutMs) {
    if (!Readable(listener, timeoutMs)) return Invalid;
    const int fd = accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC);
    const int on = 1;
    if (fd >= 0) setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd < 0 ? Invalid : fd;
}

int Receive(Handle connection, std::uint8_t* buffer, std::size_t length, int timeoutMs) {
    if (!Readable(connection, timeoutMs)) return TimedOut;
    const ssize_t got = recv(static_cast<int>(connection), buffer, length, 0);
    return got < 0 ? -1 : static_cast<int>(got);
}

bool SendAll(Handle connection, const std::uint8_t* bytes, std::size_t length) {
    return send(static_cast<int>(connection), bytes, length, MSG_NOSIGNAL) ==
           static_cast<ssize_t>(length);
}

void Close(Handle handle) {
    if (handle >= 0) close(static_cast<int>(handle));
}

}  // namespace TestSocket
