#include "document/dialogs/DialogPoll.h"

#include <algorithm>

#include "protocol/FormatPreset.h"
#include "protocol/FunctionTable.h"
#include "resources/ResourceIds.h"

DialogPoll::DialogPoll(PollForm form)
    : form_(std::move(form)), start_(0, 0xFFFF), quantity_(1, 0xFFFF) {}

DWORD DialogPoll::OnInitDialog() {
    for (const ModbusFunction& function : FunctionTable())
        function_.AddEntry(function.name, function.code);
    if (form_.function) function_.SelectValue(*form_.function);
    start_.SetText(form_.start);
    quantity_.SetText(form_.quantity);
    const std::pair<CommonControls::CommonControl*, int> controls[] = {
        {&function_, IDC_POLL_FUNCTION},
        {&start_, IDC_POLL_START},
        {&quantity_, IDC_POLL_QUANTITY},
        {&format_, IDC_POLL_FORMAT},
    };
    for (const auto& [control, id] : controls) {
        if (const DWORD error = control->Attach(this, id)) return error;
    }
    ShowFormats();
    Refresh();
    return 0;
}

void DialogPoll::ShowFormats() {
    format_.ClearEntries();
    for (int32_t id : form_.Formats()) {
        if (const FormatPreset* preset = FindPreset(id)) format_.AddEntry(preset->name, id);
    }
    format_.SelectValue(form_.preset);
}

void DialogPoll::Refresh() {
    form_.start = start_.GetText();
    form_.quantity = quantity_.GetText();
    format_.Enable(form_.FormatEnabled());
    quantity_.Enable(form_.QuantityEnabled());
    // The quantity turns red above what the function and format can carry.
    quantity_.SetRange(1, std::max<uint32_t>(1, form_.MaxQuantity()));
    EnableOk(form_.OkEnabled());
}

bool DialogPoll::OnControlCommand(HWND, UINT code, UINT id) {
    if (id == IDC_POLL_FUNCTION && code == CBN_SELCHANGE) {
        if (auto chosen = function_.Value()) form_.SelectFunction(static_cast<uint8_t>(*chosen));
        ShowFormats();
    } else if (id == IDC_POLL_FORMAT && code == CBN_SELCHANGE) {
        if (auto preset = format_.Value()) form_.preset = static_cast<int32_t>(*preset);
    } else if (code != EN_CHANGE) {
        return false;
    }
    Refresh();
    return false;
}
