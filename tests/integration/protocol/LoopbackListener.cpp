#include "LoopbackListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

LoopbackListener::~LoopbackListener() {
    if (fd_ >= 0) close(fd_);
}

bool LoopbackListener::Listen(std::string& error) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        error = std::string("socket: ") + strerror(errno);
        return false;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = 0;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof addr;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd_, 4) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &size) != 0) {
        error = std::string("listen on 127.0.0.1: ") + strerror(errno);
        return false;
    }
    port_ = ntohs(addr.sin_port);
    return true;
}

ByteLink LoopbackListener::Accept(std::chrono::milliseconds timeout) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return ByteLink();
    return ByteLink(accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC));
}
