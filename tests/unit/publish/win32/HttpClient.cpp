#include "../HttpClient.h"

#include <winsock2.h>

#include <algorithm>

namespace {
struct WinsockUser {
    WinsockUser() {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~WinsockUser() { ::WSACleanup(); }
} winsockUser;
}  // namespace

namespace TestSocket {

intptr_t Connect(uint16_t port) {
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    u_long nonBlocking = 1;
    if (s != INVALID_SOCKET &&
        ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::ioctlsocket(s, FIONBIO, &nonBlocking) == 0)
        return static_cast<intptr_t>(s);
    if (s != INVALID_SOCKET) ::closesocket(s);
    return -1;
}

bool Wait(intptr_t socket, bool writable, int timeoutMs) {
    WSAPOLLFD entry{static_cast<SOCKET>(socket),
                    static_cast<short>(writable ? POLLWRNORM : POLLRDNORM), 0};
    return ::WSAPoll(&entry, 1, timeoutMs) > 0;
}

long Send(intptr_t socket, const char* bytes, size_t size) {
    return ::send(static_cast<SOCKET>(socket), bytes,
                  static_cast<int>(std::min<size_t>(size, 1 << 20)), 0);
}

long Receive(intptr_t socket, char* buffer, size_t size) {
    return ::recv(static_cast<SOCKET>(socket), buffer, static_cast<int>(size), 0);
}

void Close(intptr_t socket) { ::closesocket(static_cast<SOCKET>(socket)); }

std::string ClientExchange(uint16_t port, const std::string& target, const std::string& method) {
    return RawExchange(port, method + " " + target +
                                 " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
}

uint64_t ResidentBytes() { return 0; }

bool ValidJson(const std::string&) { return true; }

}  // namespace TestSocket
