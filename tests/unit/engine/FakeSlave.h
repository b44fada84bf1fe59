#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "TestSocket.h"

// A Modbus slave on 127.0.0.1 for the TCP master's tests: it accepts one
// connection at a time, cuts the stream into requests and answers each as
// its handler scripts it: whole, in pieces, or not at all.
class FakeSlave {
  public:
    using Bytes = std::vector<std::uint8_t>;
    struct Answer {
        std::vector<Bytes> segments;  // each written on its own, 15 ms apart
        bool closeAfter = false;      // then close the connection
        bool stopListening = false;   // then refuse every later connection
    };
    // number counts the requests of all connections from 0.
    using Handler = std::function<Answer(const Bytes& request, int number)>;

    // mbap: cut requests by their MBAP length; otherwise each read is one
    // request (the master writes a request in one piece).
    explicit FakeSlave(Handler handler, bool mbap = true);
    ~FakeSlave();

    std::uint16_t Port() const { return port; }
    // The first count connections are closed as soon as they are accepted.
    void CloseOnAccept(int count) { closeOnAccept = count; }
    int Connections() const { return connections; }
    std::vector<Bytes> Requests() const {
        std::lock_guard guard(lock);
        return requests;
    }

    // A port on 127.0.0.1 that nobody listens on.
    static std::uint16_t RefusingPort();
    // The MBAP reply to request carrying pdu (function code first).
    static Bytes MbapReply(const Bytes& request, const Bytes& pdu);

  private:
    void Serve();
    void ServeConnection(TestSocket::Handle connection);
    // False when the connection is to end.
    bool Respond(TestSocket::Handle connection, const Bytes& request);

    Handler handler;
    bool mbap;
    std::uint16_t port = 0;
    TestSocket::Handle listener = TestSocket::Invalid;
    std::atomic<bool> stopping{false};
    std::atomic<int> closeOnAccept{0};
    std::atomic<int> connections{0};
    mutable std::mutex lock;
    std::vector<Bytes> requests;
    std::thread thread;
};
