#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Where the web listener's connections wait for their next request head,
// so that a connection only takes a worker thread once it has a whole
// request to serve. One thread watches every waiting connection at once and
// reads what they send; a connection whose head is complete goes to the
// workers, which answer it and hand it back to wait for the next request.
//
// Connections that send nothing, or trickle their head, therefore hold no
// worker: they cost a socket and at most kMaxHeadBytes of memory each, and
// the lobby holds at most kMaxConnections of them (the one that has waited
// longest makes room for a new one). A connection is closed when it sends
// nothing for idleMs, when its head is not complete headMs after its first
// byte, or when its head grows past kMaxHeadBytes.
class ConnectionLobby {
  public:
    using Clock = std::chrono::steady_clock;

    struct Limits {
        std::size_t workers = 16;
        std::size_t maxConnections = 512;
        std::size_t maxHeadBytes = 16 * 1024;
        int idleMs = 5000;
        int headMs = 5000;
    };

    // A connection and the bytes read from it that no request has taken yet.
    struct Connection {
        std::uintptr_t socket = 0;
        std::string pending;
        int served = 0;  // requests answered on it so far
        Clock::time_point waitingSince{};
        Clock::time_point headStarted{};
    };

    // Answers the requests whose heads are in connection.pending (taking
    // those bytes); true when the connection stays open for more.
    using Serve = std::function<bool(Connection& connection)>;

    ConnectionLobby(Limits limits, Serve serve);
    ~ConnectionLobby();
    ConnectionLobby(const ConnectionLobby&) = delete;
    ConnectionLobby& operator=(const ConnectionLobby&) = delete;

    // Starts the watching thread and the workers.
    void Open();
    // Takes a newly accepted connection; it is closed at once when the lobby
    // is not open.
    void Admit(std::uintptr_t socket);
    // Closes every waiting connection, lets the workers finish the requests
    // they serve, and returns once every thread has ended.
    void Close();

    // Whether the bytes hold a whole request head (a request line and
    // headers, ended by an empty line).
    static bool HoldsHead(const std::string& bytes);

  private:
    void Watch();
    void Work();
    // Takes what admitted and returned connections have brought in.
    void TakeArrivals(std::list<Connection>& waiting);
    void ReadFrom(std::list<Connection>& waiting, const std::vector<bool>& readable);
    void SendOnOrDrop(std::list<Connection>& waiting);
    void Hand(Connection connection);
    void Return(Connection connection);
    void Drop(const Connection& connection);

    const Limits limits_;
    const Serve serve_;

    std::mutex lock_;
    std::condition_variable arrived_;  // the watcher's inbox, or a stop
    std::condition_variable ready_;    // the workers' queue, or a stop
    std::vector<Connection> inbox_;
    std::deque<Connection> queue_;
    std::size_t connections_ = 0;  // every connection the lobby holds or serves
    bool open_ = false;
    std::thread watcher_;
    std::vector<std::thread> workers_;
};
