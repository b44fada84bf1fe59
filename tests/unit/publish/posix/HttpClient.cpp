#include "../HttpClient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace TestSocket {

intptr_t Connect(uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) == 0)
        return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

bool Wait(intptr_t socket, bool writable, int timeoutMs) {
    pollfd entry{static_cast<int>(socket), static_cast<short>(writable ? POLLOUT : POLLIN), 0};
    return ::poll(&entry, 1, timeoutMs) > 0;
}

long Send(intptr_t socket, const char* bytes, size_t size) {
    return ::send(static_cast<int>(socket), bytes, size, MSG_NOSIGNAL);
}

long Receive(intptr_t socket, char* buffer, size_t size) {
    return ::recv(static_cast<int>(socket), buffer, size, 0);
}

void Close(intptr_t socket) { ::close(static_cast<int>(socket)); }

std::string ClientExchange(uint16_t port, const std::string& target, const std::string& method) {
    // -g: brackets in a target are data, not curl's URL patterns.
    std::string command = "curl -s -i -g --http1.1 --max-time 10 ";
    if (method == "HEAD") {
        command += "-I ";
    } else if (method != "GET") {
        command += "-X " + method + " ";
    }
    command += "'127.0.0.1:" + std::to_string(port);
    for (char c : target) command += c == '\'' ? std::string("'\\''") : std::string(1, c);
    command += "'";
    std::string reply;
    FILE* curl = ::popen(command.c_str(), "r");
    if (!curl) return reply;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, curl)) > 0;) reply.append(buffer, n);
    ::pclose(curl);
    return reply;
}

uint64_t ResidentBytes() {
    std::ifstream status("/proc/self/statm");
    uint64_t pages = 0, resident = 0;
    status >> pages >> resident;
    return resident * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
}

bool ValidJson(const std::string& text) {
    FILE* python = ::popen(
        "/usr/bin/python3 -c 'import json, sys; json.loads(sys.stdin.buffer.read().decode())'",
        "w");
    if (!python) return false;
    std::fwrite(text.data(), 1, text.size(), python);
    return ::pclose(python) == 0;
}

}  // namespace TestSocket
