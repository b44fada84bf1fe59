#pragma once

#include <functional>
#include <memory>
#include <string>

// The HTTP side of the web interface: cpp-httplib's server, kept behind this
// interface so that only one source file of the program compiles the library.
//
// Every GET (and HEAD) request goes to one handler, which turns the request
// target into the answer's JSON text; the answer always has status 200, the
// type application/json and Access-Control-Allow-Origin: *. The listener
// guards the library against hostile requests:
// - a request that carries a body (Content-Length other than 0,
//   Transfer-Encoding, or a method whose body the library would read) is
//   refused before any of its body is read, and its connection is closed;
// - the request line and headers together are limited to kMaxHeadBytes and
//   must arrive within kHeadTimeoutMs once they have begun;
// - Range requests are answered whole, and answers are never compressed.
// A connection holds a worker thread only while one of its requests is
// answered: while it waits for a request, or its head trickles in, it waits
// in a lobby that one thread watches (ConnectionLobby), so connections that
// send nothing or next to nothing cannot keep others from being answered.
class HttpListener {
  public:
    using Handler = std::function<std::string(const std::string& target)>;

    static constexpr size_t kMaxHeadBytes = 16 * 1024;
    static constexpr int kHeadTimeoutMs = 5000;
    // How long a kept-alive connection may wait idle for its next request.
    static constexpr int kKeepAliveIdleMs = 5000;
    // After this many requests a connection is closed.
    static constexpr int kMaxRequestsPerConnection = 100;
    // Worker threads answering requests at once.
    static constexpr size_t kWorkerThreads = 16;
    // Connections held open at once; past it the connection that has waited
    // longest for its next request is closed for a new one. With a head of
    // at most kMaxHeadBytes each, they take at most 8 MiB of memory.
    static constexpr size_t kMaxConnections = 512;

    static std::unique_ptr<HttpListener> Create(Handler handler);
    virtual ~HttpListener() = default;

    // Binds to host:port; false when the address cannot be taken.
    virtual bool Bind(const std::string& host, int port) = 0;
    // Serves on the bound socket until Stop; false when it ended on an error.
    virtual bool Listen() = 0;
    // Asks a listening server to end (the library's own stop). It has no
    // effect before Listen has begun, so the caller repeats it until the
    // serving thread has returned.
    virtual void Stop() = 0;
    // Releases a bound socket on which Listen was never called.
    virtual void Unbind() = 0;
};
