#include "publish/WebInterface.h"

#include <mutex>
#include <optional>
#include <sstream>
#include <vector>

#include "common/CodePage.h"
#include "common/Utf16.h"
#include "document/VantelDoc.h"
#include "engine/NotifyEvents.h"
#include "json/json.h"
#include "publish/WebTarget.h"

#ifndef KESTROM_VERSION
#error "The build defines KESTROM_VERSION"
#endif

namespace {

std::wstring Write(const json::jsonBase& value) {
    std::wostringstream out;
    value.WriteAs(out, json::Syntax::Rfc8259);
    return out.str();
}

void AddValue(json::jsonArray& values, uint16_t address, const DataItem& item) {
    json::jsonObject* value = values.AddObject();
    value->SetInt(L"name", address);
    value->SetString(L"value", item.FormatText());
}

bool IsDecimal(const std::wstring& text) {
    if (text.empty()) return false;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
    }
    return true;
}

std::wstring FileName(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace

WebInterface::WebInterface(VantelDoc& document) : document_(document) {}

std::wstring WebInterface::Version() { return KESTROM_VERSION; }

std::string WebInterface::Answer(const std::string& target) {
    const WebTarget parsed = WebTarget::Parse(CodePage::WideFromNarrow(target));
    std::wstring text;
    if (parsed.path == L"subscribe") {
        text = Subscribe(parsed);
    } else if (parsed.path == L"updates") {
        text = Updates();
    } else if (parsed.path == L"ident") {
        text = Ident(parsed);
    } else {
        text = Address(parsed);
    }
    return Utf16::ToUtf8(text);
}

bool WebInterface::Connected() const { return document_.Settings().connected != 0; }

std::wstring WebInterface::Subscribe(const WebTarget& target) {
    {
        std::lock_guard<CriticalSection> hold(document_.WebLock());
        std::vector<uint16_t>& subscriptions = document_.Subscriptions();
        std::vector<uint16_t>& updates = document_.Updates();
        subscriptions.clear();
        updates.clear();
        for (const std::wstring& item : target.Values(L"item")) {
            if (!IsDecimal(item)) continue;
            subscriptions.push_back(LeadingNumber16(item));
            updates.push_back(LeadingNumber16(item));
        }
    }
    json::jsonObject answer;
    answer.SetBool(L"link", Connected());
    answer.SetArray(L"values", json::jsonArray());
    return Write(answer);
}

std::wstring WebInterface::Updates() {
    std::vector<uint16_t> changed;
    {
        std::lock_guard<CriticalSection> hold(document_.WebLock());
        changed.swap(document_.Updates());
    }
    json::jsonArray values;
    for (uint16_t address : changed) {
        if (std::optional<DataItem> item = document_.Settings().datamap.Find(address))
            AddValue(values, address, *item);
    }
    json::jsonObject answer;
    answer.SetBool(L"link", Connected());
    answer.SetArray(L"values", values);
    return Write(answer);
}

std::wstring WebInterface::Ident(const WebTarget& target) {
    const std::vector<std::wstring>& items = target.Values(L"item");
    const std::vector<std::wstring>& values = target.Values(L"value");
    json::jsonObject answer;
    if (items.size() != 1 || values.size() != 1) {
        answer.SetString(L"result", L"failed");
        return Write(answer);
    }
    const uint16_t address = LeadingNumber16(items[0]);
    const uint16_t value = LeadingNumber16(values[0]);
    SharedDataMap& datamap = document_.Settings().datamap;
    if (std::optional<DataItem> old = datamap.Find(address)) {
        // Only a 16-bit entry holds something comparable; any other type
        // counts as 0, so writing 0 to it changes nothing.
        const uint16_t held = old->type == DataItem::UnsignedShort ? old->AsUnsignedShort() : 0;
        if (value != held && datamap.UpdateItem(address, DataItem::MakeUnsignedShort(value)))
            document_.SetModified(true);
    }
    // Posted, never sent: the user-interface thread may itself be waiting
    // for the web server (a restart, or the program closing).
    document_.Post(EventItemChanged, address);
    document_.Post(EventDocumentChanged, 0);
    answer.SetString(L"result", L"ok");
    return Write(answer);
}

std::wstring WebInterface::Address(const WebTarget& target) {
    const uint16_t address = LeadingNumber16(target.path);
    if (std::optional<DataItem> item = document_.Settings().datamap.Find(address)) {
        json::jsonArray answer;
        AddValue(answer, address, *item);
        return Write(answer);
    }
    return Information();
}

std::wstring WebInterface::Information() {
    json::jsonObject answer;
    answer.SetString(L"app", FileName(document_.Path()));
    answer.SetBool(L"connected", Connected());
    answer.SetString(L"program", L"Kestrom Master");
    answer.SetBool(L"running", document_.IsPolling());
    answer.SetString(L"version", Version());
    return Write(answer);
}
