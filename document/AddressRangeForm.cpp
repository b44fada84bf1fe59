#include "document/AddressRangeForm.h"

#include "common/IntText.h"

AddressRangeForm AddressRangeForm::ForRange(uint16_t first, uint16_t last, uint16_t step,
                                            DataItem::Type type) {
    AddressRangeForm form;
    form.first = std::to_wstring(first);
    form.last = std::to_wstring(last);
    form.step = std::to_wstring(step);
    form.type = Offered(type) ? type : DataItem::UnsignedShort;
    return form;
}

bool AddressRangeForm::Offered(DataItem::Type type) {
    return type >= DataItem::Bit && type <= DataItem::String;
}

bool AddressRangeForm::OkEnabled() const {
    const auto from = ParseIntText(first, 0, 0xFFFF);
    const auto to = ParseIntText(last, 0, 0xFFFF);
    return from && to && *from <= *to && ParseIntText(step, 1, kMaxStep);
}

uint16_t AddressRangeForm::First() const {
    return static_cast<uint16_t>(ParseIntText(first, 0, 0xFFFF).value_or(0));
}

uint16_t AddressRangeForm::Last() const {
    return static_cast<uint16_t>(ParseIntText(last, 0, 0xFFFF).value_or(0));
}

uint16_t AddressRangeForm::Step() const {
    return static_cast<uint16_t>(ParseIntText(step, 1, kMaxStep).value_or(0));
}
