// A libmodbus slave for the protocol peer tests. Serves the contents of
// SlaveMemory over Modbus TCP on 127.0.0.1 at a port the system picks, or with
// RTU framing on a serial device (one end of a pty pair), as slave 17.
// Prints "READY <port>" (0 on a serial device) once it serves; runs until it
// is terminated.
#include <arpa/inet.h>
#include <modbus.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "SlaveMemory.h"

namespace {

modbus_mapping_t* MakeMapping() {
    const SlaveMemory memory = MakeSlaveMemory();
    modbus_mapping_t* map = modbus_mapping_new(
        static_cast<int>(memory.coils.size()), static_cast<int>(memory.discrete.size()),
        static_cast<int>(memory.holding.size()), static_cast<int>(memory.input.size()));
    if (map == nullptr) return nullptr;
    std::copy(memory.coils.begin(), memory.coils.end(), map->tab_bits);
    std::copy(memory.discrete.begin(), memory.discrete.end(), map->tab_input_bits);
    std::copy(memory.holding.begin(), memory.holding.end(), map->tab_registers);
    std::copy(memory.input.begin(), memory.input.end(), map->tab_input_registers);
    return map;
}

// Answers requests until the connection or the device fails.
void Serve(modbus_t* ctx, modbus_mapping_t* map) {
    uint8_t request[MODBUS_RTU_MAX_ADU_LENGTH > MODBUS_TCP_MAX_ADU_LENGTH
                        ? MODBUS_RTU_MAX_ADU_LENGTH
                        : MODBUS_TCP_MAX_ADU_LENGTH];
    for (;;) {
        const int length = modbus_receive(ctx, request);
        if (length > 0) {
            modbus_reply(ctx, request, length, map);
        } else if (length < 0 && errno != EMBBADCRC && errno != EMBBADDATA) {
            return;
        }
    }
}

int ServeTcp(modbus_mapping_t* map) {
    modbus_t* ctx = modbus_new_tcp("127.0.0.1", 0);
    const int listener = ctx ? modbus_tcp_listen(ctx, 1) : -1;
    sockaddr_in addr{};
    socklen_t size = sizeof addr;
    if (listener < 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &size) != 0) {
        std::fprintf(stderr, "cannot listen: %s\n", modbus_strerror(errno));
        return 1;
    }
    std::printf("READY %u\n", ntohs(addr.sin_port));
    std::fflush(stdout);
    int socket = listener;
    for (;;) {
        if (modbus_tcp_accept(ctx, &socket) < 0) return 1;
        Serve(ctx, map);
        modbus_close(ctx);
        socket = listener;
    }
}

int ServeRtu(modbus_mapping_t* map, const std::string& device) {
    modbus_t* ctx = modbus_new_rtu(device.c_str(), 115200, 'N', 8, 1);
    if (ctx == nullptr || modbus_set_slave(ctx, kSlaveAddress) != 0 || modbus_connect(ctx) != 0) {
        std::fprintf(stderr, "cannot open %s: %s\n", device.c_str(), modbus_strerror(errno));
        return 1;
    }
    std::printf("READY 0\n");
    std::fflush(stdout);
    Serve(ctx, map);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode != "tcp" && !(mode == "rtu" && argc > 2)) {
        std::fprintf(stderr, "usage: libmodbus_slave tcp | rtu DEVICE\n");
        return 2;
    }
    modbus_mapping_t* map = MakeMapping();
    if (map == nullptr) {
        std::fprintf(stderr, "cannot allocate the mapping\n");
        return 1;
    }
    return mode == "tcp" ? ServeTcp(map) : ServeRtu(map, argv[2]);
}
