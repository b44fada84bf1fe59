#include "tools/slave-sim/Simulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace slavesim {

namespace {

using std::chrono::milliseconds;

int g_signalPipe[2] = {-1, -1};

constexpr char kStopSignal = 'S';
constexpr char kDumpSignal = 'D';
// A master that stops reading must not make us buffer without end.
constexpr size_t kMaxQueuedBytes = 1 << 20;
constexpr milliseconds kReopenPause{500};
constexpr milliseconds kMaxPollWait{1000};

void OnSignal(int number) {
    const int saved = errno;
    const char code = number == SIGUSR1 ? kDumpSignal : kStopSignal;
    // A full pipe already holds a wake-up; losing this byte loses nothing.
    [[maybe_unused]] ssize_t ignored = ::write(g_signalPipe[1], &code, 1);
    errno = saved;
}

std::string Hex(const uint8_t* data, size_t length) {
    std::string text;
    char byte[4];
    for (size_t i = 0; i < length; ++i) {
        std::snprintf(byte, sizeof byte, i ? " %02X" : "%02X", data[i]);
        text += byte;
    }
    return text;
}

std::optional<uint32_t> StartAddress(const std::vector<uint8_t>& pdu) {
    if (pdu.empty()) return std::nullopt;
    const uint8_t function = pdu[0];
    if (function >= 65 && function <= 68) {
        if (pdu.size() < 5) return std::nullopt;
        return (uint32_t{pdu[1]} << 24) | (uint32_t{pdu[2]} << 16) | (uint32_t{pdu[3]} << 8) |
               pdu[4];
    }
    if (pdu.size() < 3) return std::nullopt;
    return (uint32_t{pdu[1]} << 8) | pdu[2];
}

int MsUntil(Clock::time_point now, Clock::time_point when) {
    if (when <= now) return 0;
    // Round up so the loop does not wake a moment early and spin.
    const auto wait = std::chrono::ceil<milliseconds>(when - now);
    return static_cast<int>(std::min(wait, kMaxPollWait).count());
}

}  // namespace

bool InstallSignalHandlers() {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (::sigaction(SIGINT, &action, nullptr) != 0 || ::sigaction(SIGTERM, &action, nullptr) != 0 ||
        ::sigaction(SIGUSR1, &action, nullptr) != 0) {
        return false;
    }
    // A peer that closes while a reply is on its way must not end the program.
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}

Simulator::Simulator(const Options& options, Bank& bank)
    : options_(options),
      bank_(bank),
      slave_(bank, options.itemCountByte),
      faults_(options.seed),
      framing_(options.EffectiveFraming()) {
    for (const std::string& rule : options.faults) {
        std::string error;
        faults_.Add(rule, &error);  // checked by main before the simulator is built
    }
    if (options.gapMs > 0) {
        gap_ = milliseconds(options.gapMs);
    } else if (options.Serial()) {
        // Modbus over Serial Line V1.02, 2.5.1.1: 3.5 character times of
        // silence end a frame. A pty has no character timing, and a scheduler
        // can pause a writer, so never less than 5 ms.
        const int bitsPerCharacter =
            1 + options.dataBits + (options.parity == 'N' ? 0 : 1) + options.stopBits;
        const double ms = 3.5 * bitsPerCharacter * 1000.0 / options.baud;
        gap_ = milliseconds(std::max(5, static_cast<int>(std::ceil(ms))));
    } else {
        // RTU framing over TCP: segments of one request arrive together on a
        // healthy network; give a slow sender more room than a serial line.
        gap_ = milliseconds(50);
    }
}

Simulator::~Simulator() {
    for (auto& link : links_) {
        if (!link->serial && link->fd >= 0) ::close(link->fd);
    }
    if (listenFd_ >= 0) ::close(listenFd_);
}

void Simulator::Note(const std::string& text) {
    if (options_.quiet) return;
    std::fprintf(stderr, "%s\n", text.c_str());
}

void Simulator::NoteDiscarded(Link& link) {
    const size_t total = link.reader.Discarded();
    Note(link.name + ": discarded " + std::to_string(total - link.discardedNoted) +
         " bytes that form no request");
    link.discardedNoted = total;
}

void Simulator::LogFrame(const Link& link, const char* direction, const uint8_t* data,
                         size_t length) {
    if (!options_.verbose || length == 0) return;
    std::fprintf(stderr, "%s %s: %s\n", direction, link.name.c_str(), Hex(data, length).c_str());
}

bool Simulator::SetUpTcp() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listenFd_ < 0) {
        std::fprintf(stderr, "kestrom-slave-sim: socket: %s\n", std::strerror(errno));
        return false;
    }
    const int on = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(options_.port));
    if (::inet_pton(AF_INET, options_.bindAddress.c_str(), &address.sin_addr) != 1) {
        std::fprintf(stderr, "kestrom-slave-sim: '%s' is not an IPv4 address\n",
                     options_.bindAddress.c_str());
        return false;
    }
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::fprintf(stderr, "kestrom-slave-sim: cannot bind %s:%d: %s\n",
                     options_.bindAddress.c_str(), options_.port, std::strerror(errno));
        return false;
    }
    if (options_.listen && ::listen(listenFd_, 16) != 0) {
        std::fprintf(stderr, "kestrom-slave-sim: listen: %s\n", std::strerror(errno));
        return false;
    }
    socklen_t size = sizeof address;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &size);
    std::printf("%s on %s:%u\n", options_.listen ? "listening" : "refusing",
                options_.bindAddress.c_str(), ntohs(address.sin_port));
    std::fflush(stdout);
    return true;
}

bool Simulator::SetUpSerial(bool first) {
    std::string error;
    const SerialSettings settings{options_.baud, options_.parity, options_.dataBits,
                                  options_.stopBits};
    if (!serialPort_.Open(options_.serialDevice, settings, &error)) {
        if (first) {
            std::fprintf(stderr, "kestrom-slave-sim: %s\n", error.c_str());
            return false;
        }
        return false;
    }
    auto link = std::make_unique<Link>(framing_);
    link->fd = serialPort_.Fd();
    link->serial = true;
    link->number = 1;
    link->name = options_.serialDevice;
    links_.push_back(std::move(link));
    if (first) {
        std::printf("serving %s\n", options_.serialDevice.c_str());
        std::fflush(stdout);
    } else {
        Note("reopened " + options_.serialDevice);
    }
    serialWaiting_ = false;
    return true;
}

void Simulator::AcceptConnections() {
    // Bounded: at most a handful per wake-up, the rest on the next one.
    for (int i = 0; i < 16; ++i) {
        sockaddr_in peer{};
        socklen_t size = sizeof peer;
        const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &size,
                                 SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) return;  // EAGAIN, or a connection that went away meanwhile
        ++connectionsAccepted_;
        char host[INET_ADDRSTRLEN] = "?";
        ::inet_ntop(AF_INET, &peer.sin_addr, host, sizeof host);
        const std::string name = "conn " + std::to_string(connectionsAccepted_) + " (" + host +
                                 ":" + std::to_string(ntohs(peer.sin_port)) + ")";
        const bool refused =
            std::any_of(options_.refused.begin(), options_.refused.end(),
                        [&](const Range& range) { return range.Contains(connectionsAccepted_); });
        if (refused) {
            ::close(fd);
            Note(name + " refused");
            continue;
        }
        if (links_.size() >= static_cast<size_t>(options_.maxClients)) {
            ::close(fd);
            Note(name + " closed: already " + std::to_string(options_.maxClients) + " connections");
            continue;
        }
        // Each write is to be its own segment, so the split faults mean what they say.
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        auto link = std::make_unique<Link>(framing_);
        link->fd = fd;
        link->number = connectionsAccepted_;
        link->name = name;
        links_.push_back(std::move(link));
        Note(name + " open");
    }
}

bool Simulator::SilenceEndsFrames(const Link& link) const {
    return link.serial || framing_ == Framing::Rtu;
}

void Simulator::ReadFrom(Link& link) {
    uint8_t buffer[4096];
    const ssize_t got = ::read(link.fd, buffer, sizeof buffer);
    if (got > 0) {
        link.reader.Feed(buffer, static_cast<size_t>(got));
        link.lastReceived = Clock::now();
        TakeRequests(link);
        return;
    }
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return;
    CloseLink(link, got == 0 ? "closed by peer" : std::strerror(errno));
}

void Simulator::TakeRequests(Link& link) {
    // Bounded by the bytes in the buffer: every frame consumes some.
    while (!link.closing) {
        Request request;
        const FrameReader::Result result = link.reader.Next(&request);
        if (result == FrameReader::Result::NeedMore) return;
        if (result == FrameReader::Result::Garbage) {
            // A TCP stream that lost its framing cannot be trusted again; on a
            // serial line the next silence starts afresh.
            if (!link.serial) {
                CloseLink(link, "closed: bytes that form no request");
            } else {
                NoteDiscarded(link);
            }
            return;
        }
        Answer(link, request);
    }
}

void Simulator::EndFrameAtSilence(Link& link, Clock::time_point now) {
    if (link.reader.Empty() || !SilenceEndsFrames(link) || now - link.lastReceived < gap_) return;
    Request request;
    if (link.reader.EndAtSilence(&request)) {
        Answer(link, request);
    } else {
        NoteDiscarded(link);
    }
}

void Simulator::Answer(Link& link, const Request& request) {
    LogFrame(link, "rx", request.raw.data(), request.raw.size());
    const bool rtu = framing_ == Framing::Rtu;
    const bool broadcast = rtu && request.unit == 0;
    const bool ours =
        rtu ? (request.unit == options_.unit || broadcast)
            : (request.unit == options_.unit || request.unit == 0 || request.unit == 255);
    if (!ours || request.pdu.empty()) {
        if (options_.verbose) {
            std::fprintf(stderr, "%s: ignored, unit %u\n", link.name.c_str(), request.unit);
        }
        return;
    }
    ++requestsServed_;
    ++link.requests;
    RequestFacts facts;
    facts.number = requestsServed_;
    facts.connection = link.number;
    facts.numberOnConnection = link.requests;
    facts.function = request.pdu[0];
    facts.start = StartAddress(request.pdu);
    const FaultActions actions = faults_.Decide(facts);
    if (actions.Any()) {
        Note(link.name + ": request " + std::to_string(facts.number) + " fault " +
             actions.Describe());
    }
    if (actions.close) {
        // A serial line cannot be closed on the master: it just hears nothing.
        if (!link.serial) CloseLink(link, "fault close");
        return;
    }

    std::vector<uint8_t> reply;
    if (actions.exception) {
        reply = Slave::Exception(request.pdu[0], *actions.exception);
    } else {
        std::vector<WrittenAddress> written;
        reply = slave_.Handle(request.pdu, &written);
        ReportWrites(written);
    }
    // Modbus over Serial Line V1.02, 2.2: a broadcast is never answered.
    if (broadcast) return;
    if (actions.badFunction && !reply.empty()) reply[0] = static_cast<uint8_t>(reply[0] + 1);
    if (actions.pad > 0) reply.insert(reply.end(), static_cast<size_t>(actions.pad), 0);

    const uint16_t transactionId =
        static_cast<uint16_t>(request.transactionId + (actions.badTransactionId ? 1 : 0));
    const uint8_t unit = static_cast<uint8_t>(request.unit + (actions.badUnit ? 1 : 0));
    std::vector<uint8_t> frame =
        DamageReply(actions, FrameReply(framing_, transactionId, unit, reply));
    // A serial line has nothing to close.
    const bool closeAfter = !link.serial && (actions.replyThenClose || actions.cut);
    if (actions.pair && !closeAfter) {
        link.held.insert(link.held.end(), frame.begin(), frame.end());
        return;
    }
    Schedule(link, std::move(frame), actions, closeAfter);
}

void Simulator::ReportWrites(const std::vector<WrittenAddress>& written) {
    if (options_.quiet || written.empty()) return;
    for (const WrittenAddress& w : written) {
        std::string value = bank_.ValueText(w.table, w.address);
        std::erase(value, '"');  // NaN and infinities are quoted for JSON only
        std::printf("write %s %u %s\n", TableName(w.table), w.address, value.c_str());
    }
    std::fflush(stdout);
}

std::vector<uint8_t> Simulator::DamageReply(const FaultActions& actions,
                                            std::vector<uint8_t> frame) {
    if (actions.badCrc && framing_ == Framing::Rtu) frame.back() ^= 0xFF;
    if (actions.garbage > 0) {
        frame.resize(static_cast<size_t>(actions.garbage));
        for (uint8_t& byte : frame) byte = faults_.RandomByte();
    }
    if (actions.noise > 0) {
        std::vector<uint8_t> noise(static_cast<size_t>(actions.noise));
        for (uint8_t& byte : noise) byte = faults_.RandomByte();
        frame.insert(frame.begin(), noise.begin(), noise.end());
    }
    if (actions.twice) {
        const std::vector<uint8_t> copy = frame;
        frame.insert(frame.end(), copy.begin(), copy.end());
    }
    if (actions.drop) frame.clear();
    if (actions.truncate >= 0 && frame.size() > static_cast<size_t>(actions.truncate)) {
        frame.resize(static_cast<size_t>(actions.truncate));
    }
    if (actions.cut) frame.resize(faults_.RandomBelow(static_cast<uint32_t>(frame.size())));
    return frame;
}

void Simulator::Schedule(Link& link, std::vector<uint8_t> frame, const FaultActions& actions,
                         bool closeAfter) {
    if (!link.held.empty()) {
        frame.insert(frame.begin(), link.held.begin(), link.held.end());
        link.held.clear();
    }
    const Clock::time_point base =
        std::max(Clock::now() + milliseconds(actions.delayMs), link.lastDue);
    std::vector<Chunk> chunks;
    if (actions.trickleMs >= 0 && frame.size() > 1) {
        for (size_t i = 0; i < frame.size(); ++i) {
            chunks.push_back(
                {base + milliseconds(actions.trickleMs) * static_cast<int>(i), {frame[i]}});
        }
    } else if (actions.splitMs >= 0 && frame.size() > 1) {
        size_t at = actions.splitAt > 0 ? static_cast<size_t>(actions.splitAt)
                                        : (framing_ == Framing::Mbap ? 7 : 3);
        at = std::clamp<size_t>(at, 1, frame.size() - 1);
        chunks.push_back({base, {frame.begin(), frame.begin() + static_cast<long>(at)}});
        chunks.push_back({base + milliseconds(actions.splitMs),
                          {frame.begin() + static_cast<long>(at), frame.end()}});
    } else if (!frame.empty() || closeAfter) {
        chunks.push_back({base, std::move(frame)});
    }
    if (chunks.empty()) return;
    chunks.back().closeAfter = closeAfter;
    for (Chunk& chunk : chunks) {
        link.queuedBytes += chunk.bytes.size();
        link.lastDue = chunk.due;
        link.out.push_back(std::move(chunk));
    }
    if (link.queuedBytes > kMaxQueuedBytes) {
        if (link.serial) {
            link.out.clear();
            link.queuedBytes = 0;
            Note(link.name + ": replies not leaving the port, dropped");
        } else {
            CloseLink(link, "peer does not read its replies");
        }
    }
}

void Simulator::Flush(Link& link, Clock::time_point now) {
    while (!link.closing && !link.out.empty() && link.out.front().due <= now) {
        Chunk& chunk = link.out.front();
        while (chunk.sent < chunk.bytes.size()) {
            const uint8_t* data = chunk.bytes.data() + chunk.sent;
            const size_t left = chunk.bytes.size() - chunk.sent;
            const ssize_t wrote = link.serial ? ::write(link.fd, data, left)
                                              : ::send(link.fd, data, left, MSG_NOSIGNAL);
            if (wrote < 0) {
                if (errno == EAGAIN || errno == EINTR) return;  // POLLOUT brings us back
                CloseLink(link, std::strerror(errno));
                return;
            }
            LogFrame(link, "tx", data, static_cast<size_t>(wrote));
            chunk.sent += static_cast<size_t>(wrote);
        }
        link.queuedBytes -= chunk.bytes.size();
        const bool close = chunk.closeAfter;
        link.out.pop_front();
        if (close) {
            CloseLink(link, "fault close after reply");
            return;
        }
    }
}

void Simulator::CloseLink(Link& link, const char* why) {
    if (link.closing) return;
    link.closing = true;
    Note(link.name + " " + why);
    if (link.serial) {
        serialPort_.Close();
        link.fd = -1;
        serialWaiting_ = true;
        reopenAt_ = Clock::now() + kReopenPause;
    } else {
        ::close(link.fd);
        link.fd = -1;
    }
}

void Simulator::Animate() {
    ++animateTick_;
    for (const AnimatedRange& range : options_.animated) {
        const uint32_t length = static_cast<uint32_t>(range.last - range.first) + 1;
        for (uint32_t i = 0; i < length; ++i) {
            const uint16_t address = static_cast<uint16_t>(range.first + i);
            switch (range.table) {
                case Table::Coil:
                case Table::DiscreteInput:
                    bank_.SetBit(range.table, address, (animateTick_ - 1) % length == i);
                    break;
                case Table::HoldingRegister:
                case Table::InputRegister:
                    bank_.SetRegister(
                        range.table, address,
                        static_cast<uint16_t>(bank_.Register(range.table, address) + 1));
                    break;
                case Table::Float:
                    bank_.SetFloat(address, bank_.Float(address) + 0.25f);
                    break;
                case Table::Double:
                    bank_.SetDouble(address, bank_.Double(address) + 0.25);
                    break;
            }
        }
    }
}

void Simulator::WriteDump() {
    if (options_.dumpFile.empty()) return;
    // Written beside and renamed, so a reader never sees half a file.
    const std::string temporary = options_.dumpFile + ".tmp";
    FILE* file = std::fopen(temporary.c_str(), "w");
    if (!file) {
        std::fprintf(stderr, "kestrom-slave-sim: %s: %s\n", temporary.c_str(),
                     std::strerror(errno));
        return;
    }
    const std::string json = bank_.ToJson();
    const bool written = std::fwrite(json.data(), 1, json.size(), file) == json.size();
    if (std::fclose(file) != 0 || !written ||
        std::rename(temporary.c_str(), options_.dumpFile.c_str()) != 0) {
        std::fprintf(stderr, "kestrom-slave-sim: cannot write %s\n", options_.dumpFile.c_str());
        std::remove(temporary.c_str());
    }
}

int Simulator::PollTimeoutMs(Clock::time_point now) const {
    Clock::time_point next = now + kMaxPollWait;
    for (const auto& link : links_) {
        if (link->closing) continue;
        if (!link->out.empty()) next = std::min(next, link->out.front().due);
        if (!link->reader.Empty() && SilenceEndsFrames(*link)) {
            next = std::min(next, link->lastReceived + gap_);
        }
    }
    if (options_.animateMs > 0) next = std::min(next, nextAnimate_);
    if (serialWaiting_) next = std::min(next, reopenAt_);
    return MsUntil(now, next);
}

int Simulator::Run() {
    if (options_.Serial() ? !SetUpSerial(true) : !SetUpTcp()) return 1;
    nextAnimate_ = Clock::now() + milliseconds(options_.animateMs);
    bool stop = false;
    while (!stop) {
        std::vector<pollfd> fds;
        fds.push_back({g_signalPipe[0], POLLIN, 0});
        const bool accepting = listenFd_ >= 0 && options_.listen;
        if (accepting) fds.push_back({listenFd_, POLLIN, 0});
        const size_t firstLink = fds.size();
        const Clock::time_point before = Clock::now();
        for (const auto& link : links_) {
            short events = POLLIN;
            if (!link->out.empty() && link->out.front().due <= before) events |= POLLOUT;
            fds.push_back({link->fd, events, 0});
        }
        const int ready = ::poll(fds.data(), fds.size(), PollTimeoutMs(before));
        if (ready < 0 && errno != EINTR) {
            std::fprintf(stderr, "kestrom-slave-sim: poll: %s\n", std::strerror(errno));
            return 1;
        }
        if (fds[0].revents & POLLIN) {
            char codes[16];
            const ssize_t got = ::read(g_signalPipe[0], codes, sizeof codes);
            for (ssize_t i = 0; i < got; ++i) {
                if (codes[i] == kStopSignal) stop = true;
                if (codes[i] == kDumpSignal) WriteDump();
            }
        }
        if (stop) break;
        if (accepting && (fds[1].revents & POLLIN)) AcceptConnections();
        // Links accepted just now are not in fds; they are polled next time.
        for (size_t i = firstLink; i < fds.size(); ++i) {
            Link& link = *links_[i - firstLink];
            if (link.closing) continue;
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) ReadFrom(link);
        }
        const Clock::time_point now = Clock::now();
        for (auto& link : links_) {
            if (link->closing) continue;
            EndFrameAtSilence(*link, now);
            Flush(*link, now);
        }
        std::erase_if(links_, [](const std::unique_ptr<Link>& link) { return link->closing; });
        if (options_.animateMs > 0 && now >= nextAnimate_) {
            Animate();
            // Ticks missed while the machine was busy are not made up in a burst.
            nextAnimate_ += milliseconds(options_.animateMs);
            if (nextAnimate_ <= now) nextAnimate_ = now + milliseconds(options_.animateMs);
        }
        if (serialWaiting_ && now >= reopenAt_) {
            if (!SetUpSerial(false)) reopenAt_ = now + kReopenPause;
        }
    }
    Note("stopping");
    WriteDump();
    return 0;
}

}  // namespace slavesim
