#include "FakeSlave.h"

#include <chrono>

namespace {

constexpr int PollMs = 10;

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

std::vector<FakeSlave::Bytes> FakeSlave::Requests() const {
    std::lock_guard<std::mutex> guard(lock);
    return requests;
}

std::uint16_t FakeSlave::RefusingPort() {
    std::uint16_t free = 0;
    const TestSocket::Handle probe = TestSocket::Listen(free);
    TestSocket::Close(probe);
    return free;
}

FakeSlave::Bytes FakeSlave::MbapReply(const Bytes& request, const Bytes& pdu) {
    const std::size_t length = pdu.size() + 1;
    Bytes reply;
    reply.reserve(7 + pdu.size());
    for (std::uint8_t byte :
         {request[0], request[1], std::uint8_t{0}, std::uint8_t{0},
          static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length), request[6]}) {
        reply.push_back(byte);
    }
    for (std::uint8_t byte : pdu) reply.push_back(byte);
    return reply;
}

FakeSlave::Bytes FakeSlave::RegistersPdu(std::uint8_t function,
                                         const std::vector<std::uint16_t>& values) {
    Bytes pdu = {function, static_cast<std::uint8_t>(values.size() * 2)};
    for (std::uint16_t value : values) {
        pdu.push_back(static_cast<std::uint8_t>(value >> 8));
        pdu.push_back(static_cast<std::uint8_t>(value));
    }
    return pdu;
}

std::uint16_t FakeSlave::TransactionOf(const Bytes& mbapRequest) {
    return static_cast<std::uint16_t>((mbapRequest[0] << 8) | mbapRequest[1]);
}

bool FakeSlave::Pause(int milliseconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < until) {
        if (stopping) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return !stopping;
}

void FakeSlave::Serve() {
    while (!stopping && listener != TestSocket::Invalid) {
        const TestSocket::Handle connection = TestSocket::Accept(listener, PollMs);
        if (connection == TestSocket::Invalid) continue;
        const int number = connections++;
        if (number < closeOnAccept) {
            TestSocket::Close(connection);
            continue;
        }
        ServeConnection(connection);
        TestSocket::Close(connection);
    }
}

void FakeSlave::ServeConnection(TestSocket::Handle connection) {
    Bytes stream;
    while (!stopping) {
        std::uint8_t chunk[512];
        const int got = TestSocket::Receive(connection, chunk, sizeof chunk, PollMs);
        if (got == TestSocket::TimedOut) continue;
        if (got <= 0) return;
        stream.insert(stream.end(), chunk, chunk + got);
        for (;;) {
            std::size_t size = stream.size();
            if (mbap) {
                if (stream.size() < 6) break;
                size = 6 + static_cast<std::size_t>((stream[4] << 8) | stream[5]);
                if (stream.size() < size) break;
            }
            if (size == 0) break;
            const Bytes request(stream.begin(), stream.begin() + static_cast<long>(size));
            stream.erase(stream.begin(), stream.begin() + static_cast<long>(size));
            int number;
            {
                std::lock_guard<std::mutex> guard(lock);
                number = static_cast<int>(requests.size());
                requests.push_back(request);
            }
            const Answer answer = handler(request, number);
            if (!Pause(answer.delayMs)) return;
            for (std::size_t i = 0; i < answer.segments.size(); ++i) {
                if (i > 0 && !Pause(answer.gapMs)) return;
                const Bytes& segment = answer.segments[i];
                if (!TestSocket::SendAll(connection, segment.data(), segment.size())) return;
            }
            if (answer.stopListening) {
                TestSocket::Close(listener);
                listener = TestSocket::Invalid;
            }
            if (answer.closeAfter) return;
        }
    }
}
