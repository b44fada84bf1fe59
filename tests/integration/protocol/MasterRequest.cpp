#include "MasterRequest.h"

#include "common/Utf16.h"
#include "protocol/BuildError.h"
#include "protocol/FormatPreset.h"
#include "protocol/ModbusPacket.h"

bool BuildMasterRequest(uint8_t protocol, uint16_t transactionId, uint8_t slave, const Poll& poll,
                        const std::vector<DataItem>& values, Bytes& request, std::string& error) {
    ModbusPacket packet(protocol, 1);
    packet.transactionId = transactionId;
    packet.address = slave;
    packet.function = poll.FunctionCode();
    packet.SetFromPoll(poll);
    const uint16_t step = packet.function == 15 ? 1 : StepForPreset(poll.formatpreset);
    for (size_t i = 0; i < values.size(); ++i)
        packet.items[static_cast<uint16_t>(poll.start + i * step)] = values[i];
    if (!packet.BuildRequest(protocol)) {
        error = "request refused: " + Utf16::ToUtf8(BuildErrorText(packet.buildError));
        return false;
    }
    request = packet.bytes;
    return true;
}
