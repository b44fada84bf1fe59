#include "PtyPeers.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point until) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

PeerProcess::PeerProcess(const std::vector<std::string>& command, bool pipeStderr) {
    std::vector<std::string> parts = command;
    std::vector<char*> argv;
    for (std::string& part : parts) argv.push_back(part.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int fds[2] = {-1, -1};
    if (pipeStderr && pipe2(fds, O_CLOEXEC) == 0) {
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
        errorPipe = fds[0];
    }
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (fds[1] >= 0) close(fds[1]);
}

PeerProcess::~PeerProcess() {
    Stop();
    if (errorPipe >= 0) close(errorPipe);
}

void PeerProcess::Stop() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    const auto until = Clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() > until) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pid = -1;
}

std::string PeerProcess::ReadErrorLine(int timeoutMs) {
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const std::size_t end = pending.find('\n');
        if (end != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            return line;
        }
        pollfd ready{errorPipe, POLLIN, 0};
        if (errorPipe < 0 || poll(&ready, 1, RemainingMs(until)) <= 0) return {};
        char buffer[512];
        const ssize_t n = read(errorPipe, buffer, sizeof buffer);
        if (n <= 0) return {};
        pending.append(buffer, static_cast<std::size_t>(n));
    }
}

bool PeerProcess::WaitUntilHolding(const std::string& device, int timeoutMs) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path target = fs::canonical(device, error);
    const fs::path fdFolder = "/proc/" + std::to_string(pid) + "/fd";
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (pid > 0 && Clock::now() < until) {
        for (const auto& entry : fs::directory_iterator(fdFolder, error)) {
            if (fs::read_symlink(entry.path(), error) == target) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

PtyPair::PtyPair() : socat({"socat", "-d", "-d", "pty,raw,echo=0", "pty,raw,echo=0"}, true) {
    std::vector<std::string> names;
    const auto until = Clock::now() + std::chrono::seconds(10);
    std::string line;
    while (names.size() < 2 && Clock::now() < until) {
        line = socat.ReadErrorLine(RemainingMs(until));
        if (line.empty()) return;
        const std::size_t at = line.find("PTY is ");
        if (at != std::string::npos) names.push_back(line.substr(at + 7));
    }
    // The pair carries bytes once socat has entered its transfer loop.
    while (line.find("starting data transfer loop") == std::string::npos && Clock::now() < until) {
        line = socat.ReadErrorLine(RemainingMs(until));
        if (line.empty()) break;
    }
    if (names.size() == 2) {
        slaveEnd = names[0];
        masterEnd = names[1];
    }
}
