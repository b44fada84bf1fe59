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

using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

// Waits up to `timeout` for the child to end; true once it has been reaped.
bool Reap(pid_t pid, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(10ms);
    }
}

}  // namespace

// Started with fork and exec rather than posix_spawn or popen: those run the
// child on the parent's memory (vfork), which ThreadSanitizer does not survive.
bool PeerProcess::Start(const std::vector<std::string>& argv, std::string& error) {
    int out[2] = {-1, -1};
    int status[2] = {-1, -1};  // silent when exec works, errno when it does not
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(status, O_CLOEXEC) != 0) {
        error = "cannot create pipes";
        return false;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        dup2(out[1], STDOUT_FILENO);
        dup2(out[1], STDERR_FILENO);
        const int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) dup2(devnull, STDIN_FILENO);
        execvp(args[0], args.data());
        const int code = errno;
        (void)!write(status[1], &code, sizeof code);
        _exit(127);
    }
    close(out[1]);
    close(status[1]);
    outFd_ = out[0];
    int code = 0;
    const bool failed = pid_ < 0 || read(status[0], &code, sizeof code) == sizeof code;
    close(status[0]);
    if (failed) {
        error = "cannot run " + argv[0] + ": " + strerror(pid_ < 0 ? errno : code);
        Stop();
    }
    return !failed;
}

bool PeerProcess::WaitForLine(const std::string& text, std::string& line,
                              std::chrono::milliseconds timeout, std::string& error) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        for (size_t newline; (newline = buffer_.find('\n')) != std::string::npos;) {
            line = buffer_.substr(0, newline);
            buffer_.erase(0, newline + 1);
            if (line.find(text) != std::string::npos) return true;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{outFd_, POLLIN, 0};
        char chunk[512];
        ssize_t n = 0;
        if (left.count() > 0 && poll(&p, 1, static_cast<int>(left.count())) > 0 &&
            (n = read(outFd_, chunk, sizeof chunk)) > 0) {
            buffer_.append(chunk, static_cast<size_t>(n));
            seen_.append(chunk, static_cast<size_t>(n));
            continue;
        }
        error = "no line with \"" + text + "\" in: " + seen_;
        return false;
    }
}

void PeerProcess::Stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        if (!Reap(pid_, 1000ms)) {
            kill(pid_, SIGKILL);
            Reap(pid_, 1000ms);
        }
    }
    pid_ = -1;
    if (outFd_ >= 0) close(outFd_);
    outFd_ = -1;
}

PtyPair::PtyPair() {
    // socat names each end ("... PTY is /dev/pts/7"), then starts relaying.
    std::string line;
    if (!socat.Start({"socat", "-d", "-d", "pty,raw,echo=0", "pty,raw,echo=0"}, error)) return;
    for (std::string* end : {&slaveEnd, &masterEnd}) {
        if (!socat.WaitForLine("PTY is ", line, 5s, error)) return;
        *end = line.substr(line.find("PTY is ") + 7);
    }
    if (socat.WaitForLine("starting data transfer loop", line, 5s, error)) error.clear();
}
