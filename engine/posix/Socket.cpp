#include "engine/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/BsdSocket.h"

namespace {

int Fd(std::uintptr_t handle) { return static_cast<int>(static_cast<std::intptr_t>(handle)); }

std::uintptr_t Handle(int fd) {
    return static_cast<std::uintptr_t>(static_cast<std::intptr_t>(fd));
}

// Reads are taken in chunks of this size; one call reads at most this many
// chunks, so a peer that floods the stream cannot hold the worker for ever.
constexpr std::size_t ChunkSize = 4096;
constexpr int MaxChunksPerRead = 256;

}  // namespace

Socket::~Socket() { Close(); }

void Socket::Close() {
    if (handle == InvalidHandle) return;
    const int fd = Fd(handle);
    shutdown(fd, SHUT_RDWR);
    std::uint8_t scratch[ChunkSize];
    for (int i = 0; i < MaxChunksPerRead; ++i) {
        if (recv(fd, scratch, sizeof scratch, MSG_DONTWAIT) <= 0) break;
    }
    close(fd);
    handle = InvalidHandle;
}

int Socket::Send(const std::uint8_t* bytes, std::size_t length) {
    if (handle == InvalidHandle) return -1;
    for (;;) {
        const ssize_t sent = send(Fd(handle), bytes, length, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent >= 0) return static_cast<int>(sent);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        return -1;
    }
}

Socket::ReadStatus Socket::ReadAvailable(std::vector<std::uint8_t>& into) {
    if (handle == InvalidHandle) return ReadStatus::Failed;
    std::uint8_t chunk[ChunkSize];
    for (int i = 0; i < MaxChunksPerRead; ++i) {
        const ssize_t got = recv(Fd(handle), chunk, sizeof chunk, MSG_DONTWAIT);
        if (got > 0) {
            into.insert(into.end(), chunk, chunk + got);
            // A short read has taken everything there was; whatever arrives
            // later, the end of the stream included, wakes the next wait
            // (poll reports a descriptor for as long as it is readable), so
            // asking again would only cost a call that finds nothing.
            if (static_cast<std::size_t>(got) < sizeof chunk) return ReadStatus::Ok;
            continue;
        }
        if (got == 0) return ReadStatus::PeerClosed;
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return ReadStatus::Ok;
        // A reset connection is the peer going away, not a fault of ours.
        if (errno == ECONNRESET || errno == EPIPE) return ReadStatus::PeerClosed;
        return ReadStatus::Failed;
    }
    return ReadStatus::Ok;
}

SocketClient::SocketClient() : platformState(0) {}

SocketClient::~SocketClient() { Close(); }

bool SocketClient::Resolve(const std::string& host, std::uint32_t& address) {
    return BsdSocket::ResolveIpv4(host, address);
}

bool SocketClient::Connect(std::uint32_t address, std::uint16_t port) {
    Close();
    connecting = false;
    deferredError = 0;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) return false;
    handle = Handle(fd);
    // A request goes out whole at once, never held back for an
    // acknowledgement of the one before.
    const int noDelay = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    const sockaddr_in peer = BsdSocket::Ipv4Peer(address, port);
    connecting = true;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0 &&
        errno != EINPROGRESS) {
        // Linux refuses a loopback connection at once; Winsock reports it
        // later. Report it later here too.
        deferredError = errno;
    }
    return true;
}

WaitHandle SocketClient::GetWaitHandle() const {
    WaitHandle wait;
    wait.native = handle == InvalidHandle ? -1 : Fd(handle);
    wait.interest = connecting ? WaitHandle::Writable : WaitHandle::Readable;
    return wait;
}

bool SocketClient::Acquire() { return true; }

SocketClient::NetworkEvents SocketClient::TakeNetworkEvents() {
    NetworkEvents events;
    if (handle == InvalidHandle) return events;
    if (!connecting) {
        // The wait found the open stream ready: bytes, the end of the stream
        // or an error, all of which the read that follows tells apart.
        events.readable = true;
        return events;
    }
    pollfd fd{Fd(handle), static_cast<short>(connecting ? POLLOUT : POLLIN), 0};
    if (poll(&fd, 1, 0) < 0) fd.revents = 0;
    const short revents = fd.revents;
    if (connecting) {
        if (deferredError == 0 && (revents & (POLLOUT | POLLERR | POLLHUP)) == 0) return events;
        int error = deferredError;
        if (error == 0) {
            socklen_t size = sizeof error;
            if (getsockopt(Fd(handle), SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
        }
        connecting = false;
        deferredError = 0;
        (error == 0 ? events.connected : events.connectFailed) = true;
        return events;
    }
    if (revents & (POLLIN | POLLHUP | POLLERR)) events.readable = true;
    return events;
}
