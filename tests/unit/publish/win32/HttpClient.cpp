#include "../HttpClient.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>
#include <chrono>

namespace {

struct WinsockUser {
    WinsockUser() {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~WinsockUser() { ::WSACleanup(); }
} winsockUser;

SOCKET Connect(uint16_t port) {
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return s;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

bool SendAll(SOCKET s, const char* bytes, size_t size) {
    while (size > 0) {
        int n = ::send(s, bytes, static_cast<int>(std::min<size_t>(size, 1 << 20)), 0);
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

HttpAnswer HttpGet(uint16_t port, const std::string& target, const std::string& method) {
    HttpAnswer answer;
    const std::string reply = RawExchange(
        port, method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    size_t headEnd = reply.find("\r\n\r\n");
    if (reply.compare(0, 9, "HTTP/1.1 ") != 0 || headEnd == std::string::npos) return answer;
    answer.status = std::atoi(reply.c_str() + 9);
    size_t at = reply.find("\r\n") + 2;
    while (at < headEnd) {
        size_t end = reply.find("\r\n", at);
        std::string line = reply.substr(at, end - at);
        size_t colon = line.find(':');
        std::string name = line.substr(0, colon);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        size_t value = line.find_first_not_of(' ', colon + 1);
        answer.headers.emplace(name, value == std::string::npos ? "" : line.substr(value));
        at = end + 2;
    }
    answer.body = reply.substr(headEnd + 4);
    answer.received = true;
    return answer;
}

std::string RawExchange(uint16_t port, const std::string& request, int timeoutMs) {
    std::string reply;
    SOCKET s = Connect(port);
    if (s == INVALID_SOCKET) return reply;
    SendAll(s, request.data(), request.size());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buffer[4096];
    while (std::chrono::steady_clock::now() < deadline) {
        WSAPOLLFD entry{s, POLLRDNORM, 0};
        if (::WSAPoll(&entry, 1, 50) <= 0) continue;
        int n = ::recv(s, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        reply.append(buffer, static_cast<size_t>(n));
    }
    ::closesocket(s);
    return reply;
}

uint64_t SendChunkedBody(uint16_t port, const std::string& head, uint64_t bodyBytes, int stallMs) {
    SOCKET s = Connect(port);
    if (s == INVALID_SOCKET) return 0;
    SendAll(s, head.data(), head.size());
    u_long nonBlocking = 1;
    ::ioctlsocket(s, FIONBIO, &nonBlocking);
    const std::string chunk = "10000\r\n" + std::string(0x10000, 'x') + "\r\n";
    uint64_t sent = 0;
    size_t offset = 0;
    while (sent < bodyBytes) {
        WSAPOLLFD entry{s, POLLWRNORM, 0};
        if (::WSAPoll(&entry, 1, stallMs) <= 0 || (entry.revents & (POLLERR | POLLHUP))) break;
        int n = ::send(s, chunk.data() + offset, static_cast<int>(chunk.size() - offset), 0);
        if (n <= 0) break;
        sent += static_cast<uint64_t>(n);
        offset = (offset + static_cast<size_t>(n)) % chunk.size();
    }
    ::closesocket(s);
    return sent;
}

bool CanConnect(uint16_t port) {
    SOCKET s = Connect(port);
    if (s == INVALID_SOCKET) return false;
    ::closesocket(s);
    return true;
}

uint64_t ResidentBytes() { return 0; }
