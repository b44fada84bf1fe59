#include "HttpClient.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>

namespace {

bool SendAll(intptr_t socket, const char* bytes, size_t size, int stallMs) {
    while (size > 0 && TestSocket::Wait(socket, true, stallMs)) {
        long n = TestSocket::Send(socket, bytes, size);
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return size == 0;
}

}  // namespace

HttpAnswer HttpGet(uint16_t port, const std::string& target, const std::string& method) {
    HttpAnswer answer;
    const std::string reply = TestSocket::ClientExchange(port, target, method);
    const size_t headEnd = reply.find("\r\n\r\n");
    if (reply.compare(0, 9, "HTTP/1.1 ") != 0 || headEnd == std::string::npos) return answer;
    answer.status = std::atoi(reply.c_str() + 9);
    for (size_t at = reply.find("\r\n") + 2, end; at < headEnd; at = end + 2) {
        end = reply.find("\r\n", at);
        const std::string line = reply.substr(at, end - at);
        const size_t colon = line.find(':');
        std::string name = line.substr(0, colon);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        const size_t value = line.find_first_not_of(' ', colon + 1);
        answer.headers.emplace(name, value == std::string::npos ? "" : line.substr(value));
    }
    answer.body = reply.substr(headEnd + 4);
    answer.received = true;
    return answer;
}

std::string RawExchange(uint16_t port, const std::string& request, int timeoutMs) {
    std::string reply;
    const intptr_t socket = TestSocket::Connect(port);
    if (socket < 0) return reply;
    SendAll(socket, request.data(), request.size(), timeoutMs);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buffer[4096];
    while (std::chrono::steady_clock::now() < deadline) {
        if (!TestSocket::Wait(socket, false, 50)) continue;
        long n = TestSocket::Receive(socket, buffer, sizeof buffer);
        if (n <= 0) break;
        reply.append(buffer, static_cast<size_t>(n));
    }
    TestSocket::Close(socket);
    return reply;
}

uint64_t SendChunkedBody(uint16_t port, const std::string& head, uint64_t bodyBytes, int stallMs) {
    const intptr_t socket = TestSocket::Connect(port);
    if (socket < 0) return 0;
    SendAll(socket, head.data(), head.size(), stallMs);
    const std::string chunk = "10000\r\n" + std::string(0x10000, 'x') + "\r\n";
    uint64_t sent = 0;
    for (size_t offset = 0; sent < bodyBytes && TestSocket::Wait(socket, true, stallMs);) {
        long n = TestSocket::Send(socket, chunk.data() + offset, chunk.size() - offset);
        if (n <= 0) break;
        sent += static_cast<uint64_t>(n);
        offset = (offset + static_cast<size_t>(n)) % chunk.size();
    }
    TestSocket::Close(socket);
    return sent;
}

bool CanConnect(uint16_t port) {
    const intptr_t socket = TestSocket::Connect(port);
    if (socket >= 0) TestSocket::Close(socket);
    return socket >= 0;
}
