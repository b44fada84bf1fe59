#include "ByteLink.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds Left(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? left : std::chrono::milliseconds(0);
}

}  // namespace

ByteLink::~ByteLink() { Close(); }

ByteLink::ByteLink(ByteLink&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

ByteLink& ByteLink::operator=(ByteLink&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

void ByteLink::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

ByteLink ByteLink::ConnectTcp(uint16_t port, std::chrono::milliseconds timeout,
                              std::string& error) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            error = std::string("socket: ") + strerror(errno);
            return ByteLink();
        }
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
            // Requests go out whole and at once, as a master writes them.
            const int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            return ByteLink(fd);
        }
        error = std::string("connect to port ") + std::to_string(port) + ": " + strerror(errno);
        close(fd);
        if (Clock::now() >= deadline) return ByteLink();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

ByteLink ByteLink::OpenPty(const std::string& path, std::string& error) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = "open " + path + ": " + strerror(errno);
        return ByteLink();
    }
    termios tio{};
    if (tcgetattr(fd, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
    }
    return ByteLink(fd);
}

bool ByteLink::Send(const Bytes& bytes) {
    size_t sent = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (sent < bytes.size()) {
        const ssize_t n = write(fd_, bytes.data() + sent, bytes.size() - sent);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR) && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        } else {
            return false;
        }
    }
    return true;
}

bool ByteLink::WaitReadable(std::chrono::milliseconds timeout) {
    pollfd p{fd_, POLLIN, 0};
    for (;;) {
        const int ready = poll(&p, 1, static_cast<int>(timeout.count()));
        if (ready < 0 && errno == EINTR) continue;
        return ready > 0 && (p.revents & POLLIN);
    }
}

bool ByteLink::ReceiveExactly(size_t n, Bytes& into, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    size_t got = 0;
    while (got < n) {
        if (!WaitReadable(Left(deadline))) return false;
        uint8_t chunk[512];
        const size_t want = std::min(sizeof chunk, n - got);
        const ssize_t r = read(fd_, chunk, want);
        if (r < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (r <= 0) return false;
        into.insert(into.end(), chunk, chunk + r);
        got += static_cast<size_t>(r);
    }
    return true;
}

bool ByteLink::ReceiveMbap(Bytes& frame, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    frame.clear();
    if (!ReceiveExactly(6, frame, Left(deadline))) return false;
    const size_t length = static_cast<size_t>(frame[4]) << 8 | frame[5];
    return ReceiveExactly(length, frame, Left(deadline));
}

bool ByteLink::ReceiveUntilSilence(Bytes& frame, std::chrono::milliseconds silence,
                                   std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    frame.clear();
    for (;;) {
        const auto wait = frame.empty() ? Left(deadline) : std::min(silence, Left(deadline));
        if (!WaitReadable(wait)) return !frame.empty();
        uint8_t chunk[512];
        const ssize_t r = read(fd_, chunk, sizeof chunk);
        if (r < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (r <= 0) return !frame.empty();
        frame.insert(frame.end(), chunk, chunk + r);
    }
}

void ByteLink::Drain() {
    uint8_t chunk[512];
    while (WaitReadable(std::chrono::milliseconds(0)) && read(fd_, chunk, sizeof chunk) > 0) {
    }
}

std::string ToHex(const Bytes& bytes) {
    std::string text;
    char hex[4];
    for (const uint8_t b : bytes) {
        std::snprintf(hex, sizeof hex, "%02X ", b);
        text += hex;
    }
    if (!text.empty()) text.pop_back();
    return text;
}
