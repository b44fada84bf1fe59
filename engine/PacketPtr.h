#pragma once

#include <memory>

class ModbusPacket;

// The owner of a packet on its way from a master to the monitor. Its deleter
// is defined out of line, so code that only passes packets along (the
// notifier, the queue, a consumer that ignores packets) needs no more than
// the declaration of ModbusPacket. A receiver adopts the packet of an event's
// wParam with PacketPtr(reinterpret_cast<ModbusPacket*>(wParam)).
struct PacketDeleter {
    void operator()(ModbusPacket* packet) const;
};
using PacketPtr = std::unique_ptr<ModbusPacket, PacketDeleter>;
