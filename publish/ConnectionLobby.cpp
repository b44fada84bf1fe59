#include "publish/ConnectionLobby.h"

#include <memory>
#include <utility>

#include "publish/WebSocketIo.h"

namespace {

// How long one look at the waiting connections lasts: a connection admitted
// meanwhile is watched from the next look on, so this bounds the delay a new
// request can see before its head is read.
constexpr int kLookMs = 5;
// How long the watcher sleeps when no connection waits at all.
constexpr auto kQuietWait = std::chrono::milliseconds(100);

long Elapsed(ConnectionLobby::Clock::time_point since, ConnectionLobby::Clock::time_point now) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now - since).count());
}

}  // namespace

ConnectionLobby::ConnectionLobby(Limits limits, Serve serve)
    : limits_(limits), serve_(std::move(serve)) {}

ConnectionLobby::~ConnectionLobby() { Close(); }

bool ConnectionLobby::HoldsHead(const std::string& bytes) {
    return bytes.find("\r\n\r\n") != std::string::npos;
}

void ConnectionLobby::Open() {
    std::lock_guard<std::mutex> hold(lock_);
    if (open_) return;
    open_ = true;
    watcher_ = std::thread([this] { Watch(); });
    for (std::size_t i = 0; i < limits_.workers; ++i) workers_.emplace_back([this] { Work(); });
}

void ConnectionLobby::Admit(std::uintptr_t socket) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (open_) {
            ++connections_;
            Connection connection;
            connection.socket = socket;
            connection.waitingSince = Clock::now();
            inbox_.push_back(std::move(connection));
            arrived_.notify_one();
            return;
        }
    }
    WebSocketIo::Close(socket);
}

void ConnectionLobby::Close() {
    std::vector<Connection> left;
    {
        std::lock_guard<std::mutex> hold(lock_);
        open_ = false;
        left.swap(inbox_);
        for (Connection& queued : queue_) left.push_back(std::move(queued));
        queue_.clear();
    }
    arrived_.notify_all();
    ready_.notify_all();
    for (const Connection& connection : left) Drop(connection);
    if (watcher_.joinable()) watcher_.join();
    for (std::thread& worker : workers_) worker.join();
    workers_.clear();
}

void ConnectionLobby::Drop(const Connection& connection) {
    WebSocketIo::Close(connection.socket);
    std::lock_guard<std::mutex> hold(lock_);
    --connections_;
}

void ConnectionLobby::Watch() {
    std::list<Connection> waiting;
    std::vector<std::uintptr_t> sockets;
    std::vector<bool> readable;
    for (;;) {
        {
            std::unique_lock<std::mutex> hold(lock_);
            if (open_ && inbox_.empty() && waiting.empty()) arrived_.wait_for(hold, kQuietWait);
            if (!open_) break;
        }
        TakeArrivals(waiting);
        if (waiting.empty()) continue;
        sockets.clear();
        for (const Connection& connection : waiting) sockets.push_back(connection.socket);
        std::unique_ptr<bool[]> ready(new bool[sockets.size()]());
        if (WebSocketIo::WaitAnyReadable(sockets.data(), sockets.size(), ready.get(), kLookMs) ==
            WebSocketIo::Wait::Failed) {
            // A socket the system no longer knows: each one is looked at alone.
            for (std::size_t i = 0; i < sockets.size(); ++i)
                ready[i] = WebSocketIo::WaitReadable(sockets[i], 0) != WebSocketIo::Wait::TimedOut;
        }
        readable.assign(ready.get(), ready.get() + sockets.size());
        ReadFrom(waiting, readable);
        SendOnOrDrop(waiting);
    }
    for (const Connection& connection : waiting) Drop(connection);
}

void ConnectionLobby::TakeArrivals(std::list<Connection>& waiting) {
    std::vector<Connection> arrivals;
    std::size_t held = 0;
    {
        std::lock_guard<std::mutex> hold(lock_);
        arrivals.swap(inbox_);
        held = connections_;
    }
    for (Connection& connection : arrivals) {
        // A returned connection may bring the next request along already.
        if (HoldsHead(connection.pending)) {
            Hand(std::move(connection));
        } else {
            waiting.push_back(std::move(connection));
        }
    }
    // Over the limit, the connections that have waited longest give way.
    while (held > limits_.maxConnections && !waiting.empty()) {
        Drop(waiting.front());
        waiting.pop_front();
        --held;
    }
}

void ConnectionLobby::ReadFrom(std::list<Connection>& waiting, const std::vector<bool>& readable) {
    char buffer[4096];
    std::size_t index = 0;
    for (auto it = waiting.begin(); it != waiting.end(); ++index) {
        if (!readable[index]) {
            ++it;
            continue;
        }
        Connection& connection = *it;
        const std::size_t room = limits_.maxHeadBytes + 1 - connection.pending.size();
        const long n = WebSocketIo::Receive(connection.socket, buffer,
                                            room < sizeof buffer ? room : sizeof buffer);
        if (n > 0) {
            if (connection.pending.empty()) connection.headStarted = Clock::now();
            connection.pending.append(buffer, static_cast<std::size_t>(n));
        }
        if (n > 0 && HoldsHead(connection.pending)) {
            Hand(std::move(connection));
        } else if (n > 0 && connection.pending.size() <= limits_.maxHeadBytes) {
            ++it;
            continue;
        } else {
            // The end of the stream, an error, or a head over the limit.
            Drop(connection);
        }
        it = waiting.erase(it);
    }
}

void ConnectionLobby::SendOnOrDrop(std::list<Connection>& waiting) {
    const Clock::time_point now = Clock::now();
    for (auto it = waiting.begin(); it != waiting.end();) {
        const bool expired = it->pending.empty() ? Elapsed(it->waitingSince, now) >= limits_.idleMs
                                                 : Elapsed(it->headStarted, now) >= limits_.headMs;
        if (!expired) {
            ++it;
            continue;
        }
        Drop(*it);
        it = waiting.erase(it);
    }
}

void ConnectionLobby::Hand(Connection connection) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (open_) {
            queue_.push_back(std::move(connection));
            ready_.notify_one();
            return;
        }
    }
    Drop(connection);
}

void ConnectionLobby::Return(Connection connection) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (open_) {
            const Clock::time_point now = Clock::now();
            connection.waitingSince = now;
            connection.headStarted = now;
            inbox_.push_back(std::move(connection));
            arrived_.notify_one();
            return;
        }
    }
    Drop(connection);
}

void ConnectionLobby::Work() {
    for (;;) {
        Connection connection;
        {
            std::unique_lock<std::mutex> hold(lock_);
            ready_.wait(hold, [this] { return !queue_.empty() || !open_; });
            if (!open_ || queue_.empty()) return;
            connection = std::move(queue_.front());
            queue_.pop_front();
        }
        if (serve_(connection)) {
            Return(std::move(connection));
        } else {
            Drop(connection);
        }
    }
}
