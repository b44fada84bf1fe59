#include "FakeSlave.h"

#include <chrono>

namespace {

// The size of the first whole MBAP request in stream, or 0.
std::size_t RequestSize(const FakeSlave::Bytes& stream) {
    if (stream.size() < 6) return 0;
    const std::size_t size = 6 + static_cast<std::size_t>((stream[4] << 8) | stream[5]);
    return stream.size() < size ? 0 : size;
}

}  // namespace

FakeSlave::FakeSlave(Handler handler, bool mbap) : handler(std::move(handler)), mbap(mbap) {
    listener = TestSocket::Listen(port);
    if (listener != TestSocket::Invalid) thread = std::thread([this] { Serve(); });
}

FakeSlave::~FakeSlave() {
    stopping = true;
    if (thread.joinable()) thread.join();
    TestSocket::Close(listener);
}

std::uint16_t FakeSlave::RefusingPort() {
    std::uint16_t free = 0;
    TestSocket::Close(TestSocket::Listen(free));
    return free;
}

FakeSlave::Bytes FakeSlave::MbapReply(const Bytes& request, const Bytes& pdu) {
    Bytes reply{request[0], request[1], 0, 0, 0, static_cast<std::uint8_t>(pdu.size() + 1),
                request[6]};
    reply.insert(reply.end(), pdu.begin(), pdu.end());
    return reply;
}

void FakeSlave::Serve() {
    while (!stopping && listener != TestSocket::Invalid) {
        const TestSocket::Handle connection = TestSocket::Accept(listener, 10);
        if (connection == TestSocket::Invalid) continue;
        if (connections++ >= closeOnAccept) ServeConnection(connection);
        TestSocket::Close(connection);
    }
}

void FakeSlave::ServeConnection(TestSocket::Handle connection) {
    Bytes stream;
    std::uint8_t chunk[512];
    while (!stopping) {
        const int got = TestSocket::Receive(connection, chunk, sizeof chunk, 10);
        if (got == TestSocket::TimedOut) continue;
        if (got <= 0) return;
        stream.insert(stream.end(), chunk, chunk + got);
        std::size_t size;
        while ((size = mbap ? RequestSize(stream) : stream.size()) != 0) {
            const Bytes request(stream.begin(), stream.begin() + static_cast<long>(size));
            stream.erase(stream.begin(), stream.begin() + static_cast<long>(size));
            if (!Respond(connection, request)) return;
        }
    }
}

bool FakeSlave::Respond(TestSocket::Handle connection, const Bytes& request) {
    int number;
    {
        std::lock_guard guard(lock);
        number = static_cast<int>(requests.size());
        requests.push_back(request);
    }
    const Answer answer = handler(request, number);
    for (std::size_t i = 0; i < answer.segments.size(); ++i) {
        if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(15));
        const Bytes& segment = answer.segments[i];
        if (!TestSocket::SendAll(connection, segment.data(), segment.size())) return false;
    }
    if (answer.stopListening) {
        TestSocket::Close(listener);
        listener = TestSocket::Invalid;
    }
    return !answer.closeAfter && !stopping;
}
