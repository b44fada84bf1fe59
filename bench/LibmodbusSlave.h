#pragma once

#include <arpa/inet.h>
#include <modbus.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <thread>

// The peer the benchmarks poll: a libmodbus slave on 127.0.0.1 (MBAP frames,
// or RTU frames over the TCP stream), serving one connection after another
// and counting the requests it answers. Its registers 0-199 and coils
// 0-1999 hold zeros.
class LibmodbusSlave {
  public:
    static constexpr int kAddress = 1;

    explicit LibmodbusSlave(bool rtu = false)
        : rtu_(rtu), map_(modbus_mapping_new(2000, 0, 200, 0)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            listen(listener_, 4) == 0 &&
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port_ = ntohs(address.sin_port);
        }
        thread_ = std::thread([this] { Serve(); });
    }
    ~LibmodbusSlave() {
        stopping_ = true;
        // Wakes the accept, and a receive on a client that is still there.
        shutdown(listener_, SHUT_RDWR);
        const int connection = connection_.load();
        if (connection >= 0) shutdown(connection, SHUT_RDWR);
        thread_.join();
        close(listener_);
        modbus_mapping_free(map_);
    }
    LibmodbusSlave(const LibmodbusSlave&) = delete;
    LibmodbusSlave& operator=(const LibmodbusSlave&) = delete;

    int Port() const { return port_; }
    long Answered() const { return answered_.load(); }

    // A libmodbus context speaking the framing over a connected TCP socket,
    // for either end. An RTU context reads and writes its descriptor like any
    // other, so on a socket it frames RTU over TCP.
    static modbus_t* ContextOn(int socket, bool rtu) {
        modbus_t* context =
            rtu ? modbus_new_rtu("/dev/null", 115200, 'N', 8, 1) : modbus_new_tcp("127.0.0.1", 502);
        modbus_set_slave(context, kAddress);
        modbus_set_socket(context, socket);
        return context;
    }

    // A client's socket to the slave without Nagle's delay, or -1.
    static int Connect(int port) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            close(fd);
            return -1;
        }
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        return fd;
    }

  private:
    void Serve() {
        while (!stopping_) {
            const int accepted = accept(listener_, nullptr, nullptr);
            if (accepted < 0) return;
            const int on = 1;
            setsockopt(accepted, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            connection_ = accepted;
            modbus_t* context = ContextOn(accepted, rtu_);
            std::uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
            for (;;) {
                const int length = modbus_receive(context, query);
                if (length > 0) {
                    modbus_reply(context, query, length, map_);
                    answered_.fetch_add(1, std::memory_order_relaxed);
                } else if (length == -1) {
                    break;
                }
            }
            connection_ = -1;
            close(accepted);
            modbus_free(context);
        }
    }

    const bool rtu_;
    modbus_mapping_t* map_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<int> connection_{-1};
    std::atomic<long> answered_{0};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};
