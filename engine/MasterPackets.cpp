#include "engine/MasterPackets.h"

#include <utility>

#include "protocol/FormatPreset.h"
#include "protocol/ModbusPacket.h"

namespace {

PacketPtr NewPacket(std::uint8_t protocol, std::uint8_t isRequest) {
    return PacketPtr(new ModbusPacket(protocol, isRequest));
}

}  // namespace

PacketPtr BuildRequestPacket(std::uint8_t protocol, std::uint16_t transactionId,
                             std::uint8_t address, const Poll& poll, const SharedDataMap& datamap) {
    PacketPtr packet = NewPacket(protocol, 1);
    packet->transactionId = transactionId;
    packet->address = address;
    packet->function = poll.FunctionCode();
    packet->SetFromPoll(poll);
    // Each value is looked up on its own: the lock is held per lookup, never
    // across the whole build.
    for (std::uint16_t written : packet->WriteAddresses()) {
        packet->items.Set(written, datamap.Find(written).value_or(DataItem{}));
    }
    if (!packet->BuildRequest(protocol)) packet->bytes.clear();
    return packet;
}

PacketPtr MakeReceivedPacket(std::uint8_t protocol, std::vector<std::uint8_t> bytes) {
    PacketPtr packet = NewPacket(protocol, 0);
    packet->bytes = std::move(bytes);
    return packet;
}

std::uint16_t ItemBytesOf(const Poll& poll) {
    return ByteCountFor(FindPreset(poll.formatpreset), 1);
}
