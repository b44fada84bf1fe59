#include "engine/Serial.h"

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/timerfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "common/CodePage.h"
#include "engine/posix/SerialLine.h"

namespace {

void CloseFd(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

std::string DevicePath(const SerialSettings& settings) {
    if (!settings.devicePath.empty()) return settings.devicePath;
    if (settings.comport == 0) return {};
    return "/dev/ttyS" + std::to_string(settings.comport - 1);
}

}  // namespace

std::wstring SerialDeviceName(const SerialSettings& settings) {
    return CodePage::WideFromNarrow(DevicePath(settings));
}

// The write completes when the driver has taken every byte: the descriptor
// joins the wait for writing while bytes remain. The read completes with the
// first byte or when the timerfd runs out: both sit in one epoll set, whose
// descriptor is what the wait watches, and only while a read is outstanding,
// so a port that hangs up cannot wake an idle worker. Starting a read sets the
// timer afresh, which also clears an expiry left from an earlier read.
//
// A read takes every byte the driver holds at once and hands them out one per
// read from the inbox: a reply that has arrived whole then costs one system
// call per byte (the wait) rather than a dozen. The inbox's eventfd, always
// in the epoll set, is signalled exactly while the inbox holds bytes, so a
// read started then completes at once.
struct Serial::Native {
    int fd = -1;
    int epoll = -1;
    int timer = -1;
    int inboxReady = -1;

    std::uint8_t inbox[512];
    std::size_t inboxStart = 0;
    std::size_t inboxEnd = 0;
    bool inboxSignalled = false;

    std::vector<std::uint8_t> out;
    std::size_t outDone = 0;
    bool writePending = false;
    int writeError = 0;

    bool readPending = false;
    std::uint8_t byte = 0;
    std::size_t count = 0;
    int readError = 0;

    struct WriteWaiter final : Waitable {
        Native& port;
        explicit WriteWaiter(Native& port) : port(port) {}
        WaitHandle GetWaitHandle() const override { return {port.fd, WaitHandle::Writable}; }
        bool Acquire() override { return port.WriteMore(); }
    } writeWaiter{*this};

    struct ReadWaiter final : Waitable {
        Native& port;
        explicit ReadWaiter(Native& port) : port(port) {}
        WaitHandle GetWaitHandle() const override { return {port.epoll, WaitHandle::Readable}; }
        bool Acquire() override { return port.ReadOne(); }
    } readWaiter{*this};

    // True once the write is over, done or failed.
    bool WriteMore() {
        if (!writePending) return false;
        while (outDone < out.size() && writeError == 0) {
            ssize_t n = write(fd, out.data() + outDone, out.size() - outDone);
            if (n > 0) {
                outDone += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                return false;
            } else {
                writeError = n < 0 ? errno : EIO;
            }
        }
        return true;
    }

    // True once the read is over: a byte, the time out, or a failure.
    bool ReadOne() {
        if (!readPending) return false;
        if (TakeFromInbox()) return EndRead(1, 0);
        epoll_event events[3];
        int ready = epoll_wait(epoll, events, 3, 0);
        bool hangUp = false;
        bool timedOut = false;
        for (int i = 0; i < ready; ++i) {
            if (events[i].data.fd == fd && (events[i].events & (EPOLLHUP | EPOLLERR)))
                hangUp = true;
            if (events[i].data.fd == timer) timedOut = true;
        }
        ssize_t n = read(fd, inbox, sizeof inbox);
        if (n > 0) {
            inboxStart = 0;
            inboxEnd = static_cast<std::size_t>(n);
            TakeFromInbox();
            SignalInbox();
            return EndRead(1, 0);
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return EndRead(0, errno);
        if (hangUp) return EndRead(0, EIO);
        if (timedOut) return EndRead(0, 0);
        return false;
    }

    bool TakeFromInbox() {
        if (inboxStart == inboxEnd) return false;
        byte = inbox[inboxStart++];
        SignalInbox();
        return true;
    }

    // Keeps the inbox's eventfd signalled exactly while it holds bytes.
    void SignalInbox() {
        const bool holding = inboxStart < inboxEnd;
        if (holding == inboxSignalled) return;
        std::uint64_t value = 1;
        ssize_t done = holding ? write(inboxReady, &value, sizeof value)
                               : read(inboxReady, &value, sizeof value);
        (void)done;  // a full or empty counter already has the wanted state
        inboxSignalled = holding;
    }

    void EmptyInbox() {
        inboxStart = inboxEnd = 0;
        SignalInbox();
    }

    bool EndRead(std::size_t got, int error) {
        count = got;
        readError = error;
        StopReading();
        return true;
    }

    void StopReading() { readPending = false; }
};

Serial::Serial() : native_(new Native) {}

Serial::~Serial() {
    Close();
    delete native_;
}

bool Serial::Open(const SerialSettings& settings) {
    Close();
    const std::string path = DevicePath(settings);
    if (path.empty()) return false;
    Native& n = *native_;
    n.fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (n.fd < 0) return false;
    // No sharing, as the port is opened on Windows: a second opener is
    // refused. TIOCEXCL stops other programs (but not a privileged one); the
    // lock also stops a second port of this program, whoever runs it.
    ioctl(n.fd, TIOCEXCL);
    if (flock(n.fd, LOCK_EX | LOCK_NB) != 0) {
        Close();
        return false;
    }
    n.epoll = epoll_create1(EPOLL_CLOEXEC);
    n.timer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    n.inboxReady = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    epoll_event timerEvent{};
    timerEvent.events = EPOLLIN;
    timerEvent.data.fd = n.timer;
    epoll_event inboxEvent{};
    inboxEvent.events = EPOLLIN;
    inboxEvent.data.fd = n.inboxReady;
    epoll_event ttyEvent{};
    ttyEvent.events = EPOLLIN;
    ttyEvent.data.fd = n.fd;
    if (n.epoll < 0 || n.timer < 0 || n.inboxReady < 0 ||
        epoll_ctl(n.epoll, EPOLL_CTL_ADD, n.timer, &timerEvent) != 0 ||
        epoll_ctl(n.epoll, EPOLL_CTL_ADD, n.inboxReady, &inboxEvent) != 0 ||
        epoll_ctl(n.epoll, EPOLL_CTL_ADD, n.fd, &ttyEvent) != 0 ||
        !ApplyLineSettings(n.fd, settings)) {
        Close();
        return false;
    }
    return true;
}

void Serial::Close() {
    CancelRead();
    CancelWrite();
    native_->inboxStart = native_->inboxEnd = 0;
    native_->inboxSignalled = false;
    CloseFd(native_->epoll);
    CloseFd(native_->timer);
    CloseFd(native_->inboxReady);
    CloseFd(native_->fd);
}

bool Serial::IsOpen() const { return native_->fd >= 0; }

bool Serial::DiscardInput() {
    if (!IsOpen()) return false;
    native_->EmptyInbox();
    return tcflush(native_->fd, TCIFLUSH) == 0;
}

bool Serial::StartWrite(std::span<const std::uint8_t> bytes) {
    Native& n = *native_;
    if (!IsOpen() || n.writePending) return false;
    n.out.assign(bytes.begin(), bytes.end());
    n.outDone = 0;
    n.writeError = 0;
    n.writePending = true;
    n.WriteMore();
    if (n.writeError != 0 && n.outDone == 0) {
        // Refused outright: nothing went out and nothing is outstanding.
        n.writePending = false;
        return false;
    }
    return true;
}

bool Serial::WritePending() const { return native_->writePending; }

Waitable& Serial::WriteCompletion() { return native_->writeWaiter; }

bool Serial::FinishWrite(std::size_t& written) {
    Native& n = *native_;
    written = n.outDone;
    n.writePending = false;
    return n.writeError == 0;
}

void Serial::CancelWrite() {
    Native& n = *native_;
    if (!n.writePending) return;
    if (n.fd >= 0) tcflush(n.fd, TCOFLUSH);
    n.writePending = false;
}

bool Serial::StartRead(std::uint32_t timeoutMs) {
    Native& n = *native_;
    if (!IsOpen() || n.readPending) return false;
    n.count = 0;
    n.readError = 0;
    if (n.inboxStart < n.inboxEnd) {
        // Its eventfd is signalled: the wait returns at once.
        n.readPending = true;
        return true;
    }
    itimerspec due{};
    due.it_value.tv_sec = timeoutMs / 1000;
    due.it_value.tv_nsec = static_cast<long>(timeoutMs % 1000) * 1000000L;
    if (timeoutMs == 0) due.it_value.tv_nsec = 1;  // zero would disarm the timer
    if (timerfd_settime(n.timer, 0, &due, nullptr) != 0) return false;
    n.readPending = true;
    return true;
}

bool Serial::ReadPending() const { return native_->readPending; }

Waitable& Serial::ReadCompletion() { return native_->readWaiter; }

bool Serial::FinishRead(std::uint8_t& byte, std::size_t& count) {
    Native& n = *native_;
    byte = n.byte;
    count = n.count;
    return n.readError == 0;
}

bool Serial::CompleteReadAtOnce() {
    Native& n = *native_;
    return n.readPending && n.TakeFromInbox() && n.EndRead(1, 0);
}

void Serial::CancelRead() {
    Native& n = *native_;
    if (!n.readPending) return;
    n.StopReading();
}
