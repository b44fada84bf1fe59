#include "document/PollForm.h"

#include "common/IntText.h"
#include "protocol/FunctionTable.h"
#include "protocol/PollLimits.h"

PollForm PollForm::ForPoll(const Poll& poll) {
    PollForm form;
    if (!poll.function) return form;
    form.function = poll.function->code;
    form.start = std::to_wstring(poll.start);
    form.quantity = std::to_wstring(poll.size);
    form.preset = poll.formatpreset;
    return form;
}

void PollForm::SelectFunction(uint8_t code) {
    function = code;
    preset = PresetAfterFunctionChange(code, preset);
}

std::vector<int32_t> PollForm::Formats() const {
    return function ? PresetsForFunction(*function) : std::vector<int32_t>{};
}

bool PollForm::FormatEnabled() const {
    // A bit function takes the bit preset alone.
    return function && PresetAfterFunctionChange(*function, preset) != 0;
}

bool PollForm::QuantityEnabled() const {
    const ModbusFunction* row = function ? FindFunction(*function) : nullptr;
    return row && row->RequestHas(PacketField::count);
}

uint32_t PollForm::MaxQuantity() const {
    return function ? MaxPollQuantity(*function, preset) : 0;
}

uint16_t PollForm::Start() const {
    return static_cast<uint16_t>(ParseIntText(start, 0, 0xFFFF).value_or(0));
}

uint16_t PollForm::Quantity() const {
    if (!QuantityEnabled()) return 1;
    return static_cast<uint16_t>(ParseIntText(quantity, 1, 0xFFFF).value_or(0));
}

bool PollForm::OkEnabled() const {
    if (!function || !ParseIntText(start, 0, 0xFFFF)) return false;
    if (QuantityEnabled() && !ParseIntText(quantity, 1, 0xFFFF)) return false;
    return PollFits(*function, Start(), Quantity(), preset);
}
