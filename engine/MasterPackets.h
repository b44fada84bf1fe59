#pragma once

#include <cstdint>
#include <vector>

#include "engine/PacketPtr.h"
#include "engine/SharedDataMap.h"
#include "protocol/Poll.h"

// The packets a master creates, built the same way on both links.

// The request for poll: transactionId, slave address, the poll's set-up and,
// for writes, the values of the written addresses copied from the data map
// (an unmapped address sends zeros). Its bytes stay empty when the request
// cannot be built (a poll without function); the packet is still returned so
// that the monitor can show what was attempted.
PacketPtr BuildRequestPacket(std::uint8_t protocol, std::uint16_t transactionId,
                             std::uint8_t address, const Poll& poll, const SharedDataMap& datamap);

// A received frame holding bytes, not yet decoded.
PacketPtr MakeReceivedPacket(std::uint8_t protocol, std::vector<std::uint8_t> bytes);

// Bytes of one item of the poll's preset (1 for bits).
std::uint16_t ItemBytesOf(const Poll& poll);
