#include "publish/WebSocketIo.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace WebSocketIo {
namespace {

SOCKET Native(std::uintptr_t socket) { return static_cast<SOCKET>(socket); }

Wait WaitFor(std::uintptr_t socket, short events, int timeoutMs) {
    WSAPOLLFD entry{Native(socket), events, 0};
    int result = ::WSAPoll(&entry, 1, timeoutMs);
    if (result > 0) return Wait::Ready;
    if (result == 0) return Wait::TimedOut;
    return Wait::Failed;
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

int Clamp(std::size_t size) { return size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size); }

}  // namespace

void DisableNagle(std::uintptr_t socket) {
    BOOL on = TRUE;
    ::setsockopt(Native(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                 sizeof on);
}

Wait WaitReadable(std::uintptr_t socket, int timeoutMs) {
    return WaitFor(socket, POLLRDNORM, timeoutMs);
}

Wait WaitWritable(std::uintptr_t socket, int timeoutMs) {
    return WaitFor(socket, POLLWRNORM, timeoutMs);
}

long Receive(std::uintptr_t socket, char* buffer, std::size_t size) {
    int n = ::recv(Native(socket), buffer, Clamp(size), 0);
    return n == SOCKET_ERROR ? -1 : n;
}

long Send(std::uintptr_t socket, const char* bytes, std::size_t size) {
    int n = ::send(Native(socket), bytes, Clamp(size), 0);
    return n == SOCKET_ERROR ? -1 : n;
}

void PeerAddress(std::uintptr_t socket, std::string& ip, int& port) {
    ip.clear();
    port = 0;
    sockaddr_storage address{};
    int length = sizeof address;
    if (::getpeername(Native(socket), reinterpret_cast<sockaddr*>(&address), &length) == 0)
        Describe(address, ip, port);
}

void LocalAddress(std::uintptr_t socket, std::string& ip, int& port) {
    ip.clear();
    port = 0;
    sockaddr_storage address{};
    int length = sizeof address;
    if (::getsockname(Native(socket), reinterpret_cast<sockaddr*>(&address), &length) == 0)
        Describe(address, ip, port);
}

}  // namespace WebSocketIo

void WebSocketIo::Close(std::uintptr_t socket) {
    ::shutdown(Native(socket), SD_BOTH);
    ::closesocket(Native(socket));
}

void WebSocketIo::SetListenerOptions(std::uintptr_t socket) {
    // On Windows SO_REUSEADDR would let another program take the port over;
    // exclusive use refuses a second listener.
    BOOL on = TRUE;
    ::setsockopt(Native(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                 reinterpret_cast<const char*>(&on), sizeof on);
}
