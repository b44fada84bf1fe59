#include "publish/WebSocketIo.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace WebSocketIo {
namespace {
int Native(std::uintptr_t socket) { return static_cast<int>(socket); }
}  // namespace

int Os::Poll(std::uintptr_t socket, bool writable, int timeoutMs) {
    pollfd entry{Native(socket), static_cast<short>(writable ? POLLOUT : POLLIN), 0};
    for (;;) {
        int result = ::poll(&entry, 1, timeoutMs);
        if (result >= 0 || errno != EINTR) return result;
    }
}

int Os::PollReadable(const std::uintptr_t* sockets, std::size_t count, bool* ready, int timeoutMs) {
    std::vector<pollfd> entries(count);
    for (std::size_t i = 0; i < count; ++i) entries[i] = {Native(sockets[i]), POLLIN, 0};
    int result;
    do {
        result = ::poll(entries.data(), static_cast<nfds_t>(count), timeoutMs);
    } while (result < 0 && errno == EINTR);
    for (std::size_t i = 0; i < count; ++i) ready[i] = result > 0 && entries[i].revents != 0;
    return result;
}

bool Os::Name(std::uintptr_t socket, bool peer, char* host, std::size_t hostSize, char* service,
              std::size_t serviceSize) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    auto* name = reinterpret_cast<sockaddr*>(&address);
    if ((peer ? ::getpeername(Native(socket), name, &length)
              : ::getsockname(Native(socket), name, &length)) != 0)
        return false;
    return ::getnameinfo(name, length, host, static_cast<socklen_t>(hostSize), service,
                         static_cast<socklen_t>(serviceSize), NI_NUMERICHOST | NI_NUMERICSERV) == 0;
}

void DisableNagle(std::uintptr_t socket) {
    int on = 1;
    ::setsockopt(Native(socket), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
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

void Close(std::uintptr_t socket) {
    ::shutdown(Native(socket), SHUT_RDWR);
    ::close(Native(socket));
}

void SetListenerOptions(std::uintptr_t socket) {
    // SO_REUSEADDR only: SO_REUSEPORT, which the library sets by default,
    // would let a second listener share the port in silence.
    int on = 1;
    ::setsockopt(Native(socket), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}

void WidenBacklog(std::uintptr_t socket) { ::listen(Native(socket), SOMAXCONN); }

}  // namespace WebSocketIo
