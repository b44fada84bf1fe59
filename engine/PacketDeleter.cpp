#include "engine/PacketPtr.h"
#include "protocol/ModbusPacket.h"

void PacketDeleter::operator()(ModbusPacket* packet) const { delete packet; }
