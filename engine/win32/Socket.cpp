#include "engine/Socket.h"

#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include "engine/BsdSocket.h"

namespace {

SOCKET Sock(std::uintptr_t handle) { return static_cast<SOCKET>(handle); }

WSAEVENT WsaEvent(std::uintptr_t state) { return reinterpret_cast<WSAEVENT>(state); }

constexpr int ChunkSize = 4096;
constexpr int MaxChunksPerRead = 256;

// Winsock 2.2 is started before anything uses a socket and cleaned up at exit.
// When it cannot start, every socket call fails later and each connection
// attempt fails as any other; the user is told once.
struct WinsockLibrary {
    bool started = false;
    WinsockLibrary() {
        WSADATA data;
        started = WSAStartup(0x0202, &data) == 0;
        if (!started) MessageBoxW(nullptr, L"Can't init sockets", L"Error", MB_OK);
    }
    ~WinsockLibrary() {
        if (started) WSACleanup();
    }
};

WinsockLibrary library;

}  // namespace

Socket::~Socket() { Close(); }

void Socket::Close() {
    if (handle == InvalidHandle) return;
    const SOCKET s = Sock(handle);
    shutdown(s, SD_BOTH);
    char scratch[ChunkSize];
    for (int i = 0; i < MaxChunksPerRead; ++i) {
        if (recv(s, scratch, sizeof scratch, 0) <= 0) break;
    }
    closesocket(s);
    handle = InvalidHandle;
}

int Socket::Send(const std::uint8_t* bytes, std::size_t length) {
    if (handle == InvalidHandle) return -1;
    const int sent =
        send(Sock(handle), reinterpret_cast<const char*>(bytes), static_cast<int>(length), 0);
    if (sent != SOCKET_ERROR) return sent;
    return WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

Socket::ReadStatus Socket::ReadAvailable(std::vector<std::uint8_t>& into) {
    if (handle == InvalidHandle) return ReadStatus::Failed;
    char chunk[ChunkSize];
    for (int i = 0; i < MaxChunksPerRead; ++i) {
        const int got = recv(Sock(handle), chunk, sizeof chunk, 0);
        if (got > 0) {
            into.insert(into.end(), chunk, chunk + got);
            continue;
        }
        if (got == 0) return ReadStatus::PeerClosed;
        const int error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK) return ReadStatus::Ok;
        if (error == WSAECONNRESET || error == WSAECONNABORTED) return ReadStatus::PeerClosed;
        return ReadStatus::Failed;
    }
    return ReadStatus::Ok;
}

SocketClient::SocketClient() : platformState(reinterpret_cast<std::uintptr_t>(WSACreateEvent())) {}

SocketClient::~SocketClient() {
    Close();
    if (WsaEvent(platformState) != WSA_INVALID_EVENT) WSACloseEvent(WsaEvent(platformState));
}

bool SocketClient::Resolve(const std::string& host, std::uint32_t& address) {
    return BsdSocket::ResolveIpv4(host, address);
}

bool SocketClient::Connect(std::uint32_t address, std::uint16_t port) {
    Close();
    connecting = false;
    deferredError = 0;
    WSAResetEvent(WsaEvent(platformState));
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return false;
    handle = static_cast<std::uintptr_t>(s);
    // WSAEventSelect also makes the socket non-blocking.
    if (WSAEventSelect(s, WsaEvent(platformState), FD_READ | FD_CONNECT | FD_CLOSE) != 0) {
        Close();
        return false;
    }
    // A request goes out whole at once, never held back for an
    // acknowledgement of the one before.
    const BOOL noDelay = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
               sizeof noDelay);
    const sockaddr_in peer = BsdSocket::Ipv4Peer(address, port);
    connecting = true;
    if (connect(s, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == SOCKET_ERROR &&
        WSAGetLastError() != WSAEWOULDBLOCK) {
        // Reported through the wait, like a refusal that comes later.
        deferredError = WSAGetLastError();
        WSASetEvent(WsaEvent(platformState));
    }
    return true;
}

WaitHandle SocketClient::GetWaitHandle() const {
    WaitHandle wait;
    wait.native = static_cast<intptr_t>(platformState);
    return wait;
}

bool SocketClient::Acquire() { return true; }

SocketClient::NetworkEvents SocketClient::TakeNetworkEvents() {
    NetworkEvents events;
    if (handle == InvalidHandle) return events;
    if (connecting && deferredError != 0) {
        WSAResetEvent(WsaEvent(platformState));
        connecting = false;
        deferredError = 0;
        events.connectFailed = true;
        return events;
    }
    WSANETWORKEVENTS record{};
    if (WSAEnumNetworkEvents(Sock(handle), WsaEvent(platformState), &record) != 0) return events;
    if (record.lNetworkEvents & FD_CONNECT) {
        connecting = false;
        (record.iErrorCode[FD_CONNECT_BIT] == 0 ? events.connected : events.connectFailed) = true;
    }
    if (record.lNetworkEvents & FD_READ) events.readable = true;
    if (record.lNetworkEvents & FD_CLOSE) {
        // Bytes that came before the close are still to be read.
        events.readable = true;
        events.closed = true;
    }
    return events;
}
