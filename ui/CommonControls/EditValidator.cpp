#include "ui/CommonControls/EditValidator.h"

namespace CommonControls {

EditValidator::EditValidator(Predicate predicate)
    : predicate_(std::move(predicate)), valid_(predicate_(std::wstring())) {}

void EditValidator::SetPredicate(Predicate predicate) {
    predicate_ = std::move(predicate);
    valid_ = predicate_(GetText());
    if (Handle()) ::RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
}

void EditValidator::SetText(const std::wstring& text) {
    valid_ = predicate_(text);
    EditString::SetText(text);
}

void EditValidator::OnTextChanged() {
    valid_ = predicate_(GetText());
    ::RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
}

HBRUSH EditValidator::OnCtlColor(HDC dc) {
    valid_ = predicate_(WindowText());
    if (valid_ || !IsEnabled()) return nullptr;
    ::SetBkColor(dc, kInvalidColour);
    ::SetDCBrushColor(dc, kInvalidColour);
    return static_cast<HBRUSH>(::GetStockObject(DC_BRUSH));
}

}  // namespace CommonControls
