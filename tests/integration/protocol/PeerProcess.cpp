#include "PeerProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

void CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

// Waits up to `timeout` for the child to end; true once it has been reaped.
bool Reap(pid_t pid, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace

PeerProcess::~PeerProcess() { Stop(); }

bool PeerProcess::Start(const std::vector<std::string>& argv) {
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    if (argv.empty() || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        error_ = "cannot create pipes";
        return false;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    // The exec failure is reported through a close-on-exec pipe: it stays
    // silent when the program starts and carries errno when it does not.
    int status[2] = {-1, -1};
    if (pipe2(status, O_CLOEXEC) != 0) {
        error_ = "cannot create pipes";
        return false;
    }
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        error_ = std::string("fork failed: ") + strerror(errno);
        return false;
    }
    if (pid == 0) {
        // A test killed by its timeout runs no destructors; the peer goes with it.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        const int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) dup2(devnull, STDIN_FILENO);
        execvp(args[0], args.data());
        const int code = errno;
        (void)!write(status[1], &code, sizeof code);
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    close(status[1]);
    int code = 0;
    const ssize_t n = read(status[0], &code, sizeof code);
    close(status[0]);
    outFd_ = out[0];
    errFd_ = err[0];
    pid_ = pid;
    if (n == static_cast<ssize_t>(sizeof code)) {
        error_ = "cannot run " + argv[0] + ": " + strerror(code);
        Stop();
        return false;
    }
    return true;
}

bool PeerProcess::ReadLine(Stream stream, std::string& line, std::chrono::milliseconds timeout) {
    const int fd = stream == Stream::Output ? outFd_ : errFd_;
    std::string& buffer = stream == Stream::Output ? outBuffer_ : errBuffer_;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const size_t newline = buffer.find('\n');
        if (newline != std::string::npos) {
            line = buffer.substr(0, newline);
            buffer.erase(0, newline + 1);
            return true;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (fd < 0 || left.count() <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        char chunk[512];
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n <= 0) return false;
        buffer.append(chunk, static_cast<size_t>(n));
        if (stream == Stream::Error) errorText_.append(chunk, static_cast<size_t>(n));
    }
}

void PeerProcess::Stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        if (!Reap(pid_, std::chrono::milliseconds(1000))) {
            kill(pid_, SIGKILL);
            Reap(pid_, std::chrono::milliseconds(1000));
        }
        pid_ = -1;
    }
    CloseFd(outFd_);
    CloseFd(errFd_);
}
