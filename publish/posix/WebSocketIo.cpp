#include "publish/WebSocketIo.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace WebSocketIo {
namespace {

int Native(std::uintptr_t socket) { return static_cast<int>(socket); }

Wait WaitFor(std::uintptr_t socket, short events, int timeoutMs) {
    pollfd entry{Native(socket), events, 0};
    for (;;) {
        int result = ::poll(&entry, 1, timeoutMs);
        if (result > 0) return Wait::Ready;
        if (result == 0) return Wait::TimedOut;
        if (errno != EINTR) return Wait::Failed;
    }
}

void Describe(const sockaddr_storage& address, std::string& ip, int& port) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        if (::inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text)) ip = text;
        port = ntohs(v4.sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        if (::inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text)) ip = text;
        port = ntohs(v6.sin6_port);
    }
}

}  // namespace

void DisableNagle(std::uintptr_t socket) {
    int on = 1;
    ::setsockopt(Native(socket), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

Wait WaitReadable(std::uintptr_t socket, int timeoutMs) {
    return WaitFor(socket, POLLIN, timeoutMs);
}

Wait WaitWritable(std::uintptr_t socket, int timeoutMs) {
    return WaitFor(socket, POLLOUT, timeoutMs);
}

long Receive(std::uintptr_t socket, char* buffer, std::size_t size) {
    for (;;) {
        ssize_t n = ::recv(Native(socket), buffer, size, 0);
        if (n >= 0 || errno != EINTR) return static_cast<long>(n);
    }
}

long Send(std::uintptr_t socket, const char* bytes, std::size_t size) {
    for (;;) {
        // MSG_NOSIGNAL: a peer that went away must not kill the process with
        // SIGPIPE.
        ssize_t n = ::send(Native(socket), bytes, size, MSG_NOSIGNAL);
        if (n >= 0 || errno != EINTR) return static_cast<long>(n);
    }
}

void PeerAddress(std::uintptr_t socket, std::string& ip, int& port) {
    ip.clear();
    port = 0;
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(Native(socket), reinterpret_cast<sockaddr*>(&address), &length) == 0)
        Describe(address, ip, port);
}

void LocalAddress(std::uintptr_t socket, std::string& ip, int& port) {
    ip.clear();
    port = 0;
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(Native(socket), reinterpret_cast<sockaddr*>(&address), &length) == 0)
        Describe(address, ip, port);
}

}  // namespace WebSocketIo

#include <unistd.h>

void WebSocketIo::Close(std::uintptr_t socket) {
    ::shutdown(Native(socket), SHUT_RDWR);
    ::close(Native(socket));
}

void WebSocketIo::SetListenerOptions(std::uintptr_t socket) {
    // SO_REUSEADDR only: SO_REUSEPORT, which the library sets by default,
    // would let a second listener share the port in silence.
    int on = 1;
    ::setsockopt(Native(socket), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}
