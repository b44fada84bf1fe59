#include "publish/win32/DocumentDde.h"

#include <optional>

DocumentDde::DocumentDde(VantelDoc& document) : document_(document) {
    document_.SetDdeAdvisor(this);
}

DocumentDde::~DocumentDde() {
    document_.SetDdeAdvisor(nullptr);
    End();
}

bool DocumentDde::ParseItem(const std::wstring& item, uint16_t& address) {
    if (item.size() != 5) return false;
    unsigned value = 0;
    for (wchar_t c : item) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + static_cast<unsigned>(c - L'0');
    }
    address = static_cast<uint16_t>(value);
    return true;
}

std::wstring DocumentDde::OnRequest(const std::wstring& item) {
    uint16_t address = 0;
    if (!ParseItem(item, address)) return L"Bad address";
    std::optional<DataItem> value = document_.Settings().datamap.Find(address);
    if (!value) return L"Unknown address";
    document_.SetDdeLink(address, true);
    // In full: a fixed buffer would cut long texts.
    return value->FormatText();
}

void DocumentDde::OnAdviseStop(const std::wstring& item) {
    uint16_t address = 0;
    if (ParseItem(item, address)) document_.SetDdeLink(address, false);
}

bool DocumentDde::OnPoke(const std::wstring& item, const std::wstring& data) {
    uint16_t address = 0;
    if (!ParseItem(item, address)) return false;
    SharedDataMap& datamap = document_.Settings().datamap;
    if (std::optional<DataItem> value = datamap.Find(address)) {
        DataItem poked = *value;
        if (poked.SetFromText(data)) datamap.UpdateItem(address, poked);
    }
    // Told as every other change of a value is: the windows show it, and
    // the main window publishes it (VantelDoc::OnValueChanged: DDE advises,
    // web subscribers). DDE calls back on the user-interface thread, so the
    // windows hear of it before the advise below goes out.
    document_.Send(nullptr, EventItemChanged, address);
    return true;
}
