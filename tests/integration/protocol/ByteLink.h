#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// One end of a byte stream to a peer: a loopback TCP connection or a pty. Every
// read is bounded by a deadline; the descriptor is closed by the destructor.
class ByteLink {
  public:
    ByteLink() = default;
    explicit ByteLink(int fd) : fd_(fd) {}
    ~ByteLink();
    ByteLink(ByteLink&& other) noexcept;
    ByteLink& operator=(ByteLink&& other) noexcept;
    ByteLink(const ByteLink&) = delete;
    ByteLink& operator=(const ByteLink&) = delete;

    // Connects to 127.0.0.1:port, retrying until the deadline while the peer
    // is not listening yet.
    static ByteLink ConnectTcp(uint16_t port, std::chrono::milliseconds timeout,
                               std::string& error);
    // Opens a pty end raw, so no byte is translated or echoed.
    static ByteLink OpenPty(const std::string& path, std::string& error);

    bool valid() const { return fd_ >= 0; }
    bool Send(const Bytes& bytes);
    // Appends exactly n bytes to `into`; false when they do not arrive in time.
    bool ReceiveExactly(size_t n, Bytes& into, std::chrono::milliseconds timeout);
    // An MBAP-framed message: the 6-byte header, then the number of bytes its
    // length field announces.
    bool ReceiveMbap(Bytes& frame, std::chrono::milliseconds timeout);
    // What arrives until the line has been silent for `silence` after the first
    // byte, as a serial master delimits an RTU frame. False when nothing comes.
    bool ReceiveUntilSilence(Bytes& frame, std::chrono::milliseconds silence,
                             std::chrono::milliseconds timeout);
    // Throws away whatever is waiting to be read.
    void Drain();

  private:
    // Waits for readable data; false on timeout or error.
    bool WaitReadable(std::chrono::milliseconds timeout);
    void Close();

    int fd_ = -1;
};

std::string ToHex(const Bytes& bytes);
