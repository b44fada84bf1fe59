// The one translation unit that includes cpp-httplib.
#include "publish/HttpListener.h"

#include <httplib.h>

#include <cstdint>
#include <string>

#include "publish/ConnectionLobby.h"
#include "publish/WebSocketIo.h"

namespace {

std::uintptr_t Handle(socket_t socket) { return static_cast<std::uintptr_t>(socket); }

ConnectionLobby::Limits LobbyLimits() {
    ConnectionLobby::Limits limits;
    limits.workers = HttpListener::kWorkerThreads;
    limits.maxConnections = HttpListener::kMaxConnections;
    limits.maxHeadBytes = HttpListener::kMaxHeadBytes;
    limits.idleMs = HttpListener::kKeepAliveIdleMs;
    limits.headMs = HttpListener::kHeadTimeoutMs;
    return limits;
}

// The connection as the library reads and writes it. The lobby has read the
// request heads already: the library reads them from those bytes, and never
// waits on the socket for more. The stream counts the bytes of each head
// (request line and headers) as the library takes them one by one, so a head
// past the limit fails the read instead of growing the library's line buffer;
// and once a request has been found to carry a body, every further read
// fails, so not one byte of the body is taken into memory.
class GuardedStream final : public httplib::Stream {
  public:
    GuardedStream(socket_t socket, std::string pending)
        : socket_(socket), buffer_(std::move(pending)) {}

    bool is_readable() const override { return !refused_ && begin_ < buffer_.size(); }
    bool is_writable() const override {
        return WebSocketIo::WaitWritable(Handle(socket_), kWriteTimeoutMs) ==
               WebSocketIo::Wait::Ready;
    }

    ssize_t read(char* ptr, size_t size) override {
        if (refused_ || afterHead_ || size == 0 || begin_ == buffer_.size()) return -1;
        size_t count = std::min(size, buffer_.size() - begin_);
        for (size_t i = 0; i < count; ++i) {
            if (!Count(buffer_[begin_ + i])) {
                refused_ = true;
                return -1;
            }
            ptr[i] = buffer_[begin_ + i];
            // The head ends here: the library decides about the body next, and
            // reads nothing more until Screen has seen the request.
            if (afterHead_) {
                count = i + 1;
                break;
            }
        }
        begin_ += count;
        return static_cast<ssize_t>(count);
    }

    ssize_t write(const char* ptr, size_t size) override {
        size_t sent = 0;
        while (sent < size) {
            long n = WebSocketIo::Send(Handle(socket_), ptr + sent, size - sent);
            if (n <= 0) return -1;
            sent += static_cast<size_t>(n);
        }
        return static_cast<ssize_t>(sent);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        WebSocketIo::PeerAddress(Handle(socket_), ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        WebSocketIo::LocalAddress(Handle(socket_), ip, port);
    }
    socket_t socket() const override { return socket_; }

    // Called with each request whose head has been read, before the library
    // looks at a body. Only requests without a body are served.
    void Screen(httplib::Request& request) {
        const bool bodyAnnounced =
            request.has_header("Transfer-Encoding") ||
            (request.has_header("Content-Length") &&
             request.get_header_value("Content-Length") != "0") ||
            // The library reads the body of these even without a length, up
            // to the end of the stream.
            (request.method != "GET" && request.method != "HEAD" && request.method != "OPTIONS");
        if (bodyAnnounced) {
            // A method the library has no route for: it answers 400 Bad
            // Request without reading anything more, and the connection ends.
            refused_ = true;
            request.method = "REFUSED";
            return;
        }
        // The answers are a few hundred bytes: whole, and uncompressed, on
        // every build of the library.
        request.ranges.clear();
        request.headers.erase("Range");
        request.headers.erase("Accept-Encoding");
        StartHead();
    }

    bool Refused() const { return refused_; }

    // The bytes after the requests served so far: the beginning of the next.
    std::string TakeUnread() {
        std::string rest = buffer_.substr(begin_);
        buffer_.clear();
        begin_ = 0;
        return rest;
    }
    bool HoldsNextHead() const { return ConnectionLobby::HoldsHead(buffer_.substr(begin_)); }

  private:
    static constexpr int kWriteTimeoutMs = 5000;

    void StartHead() {
        afterHead_ = false;
        headBytes_ = 0;
        lineBytes_ = 0;
        lines_ = 0;
    }

    // Takes one byte of a head into the count; false when the head breaks
    // a limit.
    bool Count(char byte) {
        if (++headBytes_ > HttpListener::kMaxHeadBytes) return false;
        ++lineBytes_;
        if (byte == '\n') {
            // A line of just CR LF after the request line ends the head, as
            // the library reads it.
            if (lineBytes_ == 2 && previous_ == '\r' && lines_ > 0) afterHead_ = true;
            ++lines_;
            lineBytes_ = 0;
        }
        previous_ = byte;
        return true;
    }

    socket_t socket_;
    std::string buffer_;
    size_t begin_ = 0;
    bool refused_ = false;
    bool afterHead_ = false;
    size_t headBytes_ = 0;
    size_t lineBytes_ = 0;
    size_t lines_ = 0;
    char previous_ = 0;
};

// The library's task queue, which the listen loop hands each accepted
// connection to: here the connection goes to the lobby at once, on the
// listener's own thread, and only a whole request takes a worker.
class LobbyQueue final : public httplib::TaskQueue {
  public:
    explicit LobbyQueue(ConnectionLobby& lobby) : lobby_(lobby) { lobby_.Open(); }
    void enqueue(std::function<void()> admit) override { admit(); }
    void shutdown() override { lobby_.Close(); }

  private:
    ConnectionLobby& lobby_;
};

class CppHttpListener final : public HttpListener, public httplib::Server {
  public:
    explicit CppHttpListener(HttpListener::Handler handler) : handler_(std::move(handler)) {
        // Nothing the interface answers needs a body; a body that slipped
        // past the screening would still be refused by length.
        set_payload_max_length(0);
        new_task_queue = [this] { return new LobbyQueue(lobby_); };
        // What the Keep-Alive header of each answer tells the client; the
        // connection loop below keeps to the same numbers.
        set_keep_alive_max_count(kMaxRequestsPerConnection);
        set_keep_alive_timeout(kKeepAliveIdleMs / 1000);
        set_socket_options(
            [](socket_t socket) { WebSocketIo::SetListenerOptions(Handle(socket)); });
        set_expect_100_continue_handler([](const httplib::Request&, httplib::Response& response) {
            // Only requests with a body ask to continue: refuse at once
            // rather than invite the body.
            response.status = 413;
            return 413;
        });
        // Every target, also one whose decoded path holds a line break (which
        // "." would not match), gets the interface's answer.
        Get(R"([\s\S]*)", [this](const httplib::Request& request, httplib::Response& response) {
            response.set_header("Access-Control-Allow-Origin", "*");
            response.set_content(handler_(request.target), "application/json");
        });
    }

    ~CppHttpListener() override {
        // The library's destructor does not stop a server that still listens.
        CppHttpListener::Unbind();
    }

    bool Bind(const std::string& host, int port) override {
        if (!bind_to_port(host, port)) return false;
        WebSocketIo::WidenBacklog(Handle(svr_sock_));
        return true;
    }
    bool Listen() override { return listen_after_bind(); }
    void Stop() override { stop(); }
    void Unbind() override {
        if (is_running()) return;
        socket_t socket = svr_sock_.exchange(INVALID_SOCKET);
        if (socket != INVALID_SOCKET) WebSocketIo::Close(Handle(socket));
    }

  private:
    // Replaces the library's connection loop, which would hold a worker
    // thread while the connection waits: the lobby waits instead.
    bool process_and_close_socket(socket_t socket) override {
        WebSocketIo::DisableNagle(Handle(socket));
        lobby_.Admit(Handle(socket));
        return true;
    }

    // Answers the whole requests the lobby has read; true when the
    // connection stays open for the next one.
    bool Serve(ConnectionLobby::Connection& connection) {
        GuardedStream stream(static_cast<socket_t>(connection.socket),
                             std::move(connection.pending));
        bool open = true;
        do {
            const bool last = connection.served + 1 >= kMaxRequestsPerConnection;
            bool closed = false;
            const bool ok =
                process_request(stream, last, closed,
                                [&stream](httplib::Request& request) { stream.Screen(request); });
            ++connection.served;
            open = ok && !closed && !last && !stream.Refused();
        } while (open && stream.HoldsNextHead());
        connection.pending = stream.TakeUnread();
        return open;
    }

    HttpListener::Handler handler_;
    ConnectionLobby lobby_{LobbyLimits(),
                           [this](ConnectionLobby::Connection& c) { return Serve(c); }};
};

}  // namespace

std::unique_ptr<HttpListener> HttpListener::Create(Handler handler) {
    return std::make_unique<CppHttpListener>(std::move(handler));
}
