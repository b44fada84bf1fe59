#include "protocol/Poll.h"

#include "protocol/FormatPreset.h"

uint32_t Poll::LastAddress() const {
    if (size == 0) return start;
    return start + (size - 1u) * StepForPreset(formatpreset);
}

bool MakePoll(uint8_t functionCode, uint16_t start, uint16_t size, int32_t formatpreset,
              Poll& poll) {
    poll.function = FindFunction(functionCode);
    poll.start = start;
    poll.formatpreset = formatpreset;
    poll.size = poll.function && !poll.function->RequestHas(PacketField::count) ? 1 : size;
    return poll.function != nullptr;
}
