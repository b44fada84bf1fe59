#include "publish/WebSocketIo.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <vector>

namespace WebSocketIo {
namespace {
SOCKET Native(std::uintptr_t socket) { return static_cast<SOCKET>(socket); }
int Clamp(std::size_t size) { return size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size); }
}  // namespace

int Os::Poll(std::uintptr_t socket, bool writable, int timeoutMs) {
    WSAPOLLFD entry{Native(socket), static_cast<short>(writable ? POLLWRNORM : POLLRDNORM), 0};
    return ::WSAPoll(&entry, 1, timeoutMs);
}

int Os::PollReadable(const std::uintptr_t* sockets, std::size_t count, bool* ready, int timeoutMs) {
    std::vector<WSAPOLLFD> entries(count);
    for (std::size_t i = 0; i < count; ++i) entries[i] = {Native(sockets[i]), POLLRDNORM, 0};
    int result = ::WSAPoll(entries.data(), static_cast<ULONG>(count), timeoutMs);
    for (std::size_t i = 0; i < count; ++i) ready[i] = result > 0 && entries[i].revents != 0;
    return result == SOCKET_ERROR ? -1 : result;
}

bool Os::Name(std::uintptr_t socket, bool peer, char* host, std::size_t hostSize, char* service,
              std::size_t serviceSize) {
    sockaddr_storage address{};
    int length = sizeof address;
    auto* name = reinterpret_cast<sockaddr*>(&address);
    if ((peer ? ::getpeername(Native(socket), name, &length)
              : ::getsockname(Native(socket), name, &length)) != 0)
        return false;
    return ::getnameinfo(name, length, host, static_cast<DWORD>(hostSize), service,
                         static_cast<DWORD>(serviceSize), NI_NUMERICHOST | NI_NUMERICSERV) == 0;
}

void DisableNagle(std::uintptr_t socket) {
    BOOL on = TRUE;
    ::setsockopt(Native(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                 sizeof on);
}

long Receive(std::uintptr_t socket, char* buffer, std::size_t size) {
    int n = ::recv(Native(socket), buffer, Clamp(size), 0);
    return n == SOCKET_ERROR ? -1 : n;
}

long Send(std::uintptr_t socket, const char* bytes, std::size_t size) {
    int n = ::send(Native(socket), bytes, Clamp(size), 0);
    return n == SOCKET_ERROR ? -1 : n;
}

void Close(std::uintptr_t socket) {
    ::shutdown(Native(socket), SD_BOTH);
    ::closesocket(Native(socket));
}

void SetListenerOptions(std::uintptr_t socket) {
    // On Windows SO_REUSEADDR would let another program take the port over;
    // exclusive use refuses a second listener.
    BOOL on = TRUE;
    ::setsockopt(Native(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                 reinterpret_cast<const char*>(&on), sizeof on);
}

void WidenBacklog(std::uintptr_t socket) {
    // Winsock keeps the first backlog of a listening socket; a second listen
    // changes nothing there, but costs nothing either.
    ::listen(Native(socket), SOMAXCONN);
}

}  // namespace WebSocketIo
