#pragma once

#include <memory>

class ModbusPacket;

// The owner of a packet on its way from a master to the monitor. The deleter
// carries the function that frees the packet, set where the packet was made
// or adopted (where ModbusPacket is a complete type), so code that only passes
// packets along (the notifier, the queue) needs no more than the declaration.
struct PacketDeleter {
    void (*destroy)(ModbusPacket* packet) = nullptr;
    void operator()(ModbusPacket* packet) const {
        if (destroy) destroy(packet);
    }
};
using PacketPtr = std::unique_ptr<ModbusPacket, PacketDeleter>;
