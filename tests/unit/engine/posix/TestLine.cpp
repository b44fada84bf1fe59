#include "TestLine.h"

#include <poll.h>
#include <pty.h>
#include <unistd.h>

TestLine::TestLine() {
    char name[256] = {};
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
    close(slave);
    settings.devicePath = name;
    farEnd = master;
}

TestLine::~TestLine() { HangUp(); }

bool TestLine::Write(const std::vector<std::uint8_t>& bytes) {
    return write(static_cast<int>(farEnd), bytes.data(), bytes.size()) ==
           static_cast<ssize_t>(bytes.size());
}

std::vector<std::uint8_t> TestLine::Read(int timeoutMs) {
    std::vector<std::uint8_t> bytes(256);
    pollfd fd{static_cast<int>(farEnd), POLLIN, 0};
    const ssize_t got = poll(&fd, 1, timeoutMs) == 1 ? read(fd.fd, bytes.data(), bytes.size()) : 0;
    bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return bytes;
}

bool TestLine::HangUp() {
    if (farEnd != -1) close(static_cast<int>(farEnd));
    farEnd = -1;
    return true;
}
