#include "document/dialogs/DialogAddAddresses.h"

#include "resources/ResourceIds.h"

DialogAddAddresses::DialogAddAddresses(AddressRangeForm form)
    : form_(std::move(form)),
      first_(0, 0xFFFF),
      last_(0, 0xFFFF),
      step_(1, AddressRangeForm::kMaxStep) {}

DWORD DialogAddAddresses::OnInitDialog() {
    const std::pair<const wchar_t*, DataItem::Type> types[] = {
        {L"BIT", DataItem::Bit},       {L"SHORT", DataItem::UnsignedShort},
        {L"LONG", DataItem::UnsignedInt}, {L"FLOAT", DataItem::Float},
        {L"DOUBLE", DataItem::Double}, {L"STRING", DataItem::String},
    };
    for (const auto& [name, type] : types) type_.AddEntry(name, type);
    if (!AddressRangeForm::Offered(form_.type)) form_.type = DataItem::UnsignedShort;
    type_.SelectValue(form_.type);
    first_.SetText(form_.first);
    last_.SetText(form_.last);
    step_.SetText(form_.step);
    const std::pair<CommonControls::CommonControl*, int> controls[] = {
        {&first_, IDC_ADDR_FIRST},
        {&last_, IDC_ADDR_LAST},
        {&step_, IDC_ADDR_STEP},
        {&type_, IDC_ADDR_TYPE},
    };
    for (const auto& [control, id] : controls) {
        if (const DWORD error = control->Attach(this, id)) return error;
    }
    Refresh();
    return 0;
}

void DialogAddAddresses::Refresh() {
    form_.first = first_.GetText();
    form_.last = last_.GetText();
    form_.step = step_.GetText();
    if (auto type = type_.Value()) form_.type = static_cast<DataItem::Type>(*type);
    EnableOk(form_.OkEnabled());
}

bool DialogAddAddresses::OnControlCommand(HWND, UINT, UINT) {
    Refresh();
    return false;
}
