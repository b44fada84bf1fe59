#include "publish/win32/DDEServer.h"

#include <vector>

namespace {

// DDEML's callback has no context argument; one server per process.
DDEServer* g_server = nullptr;

constexpr int kMaxItemCharacters = 254;

bool RunsUnderWine() {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

}  // namespace

DDEServer::~DDEServer() { End(); }

bool DDEServer::Start() {
    if (instance_) return true;
    if (::DdeInitializeW(&instance_, &DDEServer::Callback, APPCMD_FILTERINITS, 0) !=
        DMLERR_NO_ERROR) {
        instance_ = 0;
        return false;
    }
    g_server = this;
    service_ = ::DdeCreateStringHandleW(instance_, L"Kestrom Master", CP_WINUNICODE);
    topic_ = ::DdeCreateStringHandleW(instance_, L"Master", CP_WINUNICODE);
    if (!service_ || !topic_ || !::DdeNameService(instance_, service_, nullptr, DNS_REGISTER)) {
        End();
        return false;
    }
    return true;
}

void DDEServer::End() {
    if (!instance_) return;
    ::DdeNameService(instance_, nullptr, nullptr, DNS_UNREGISTER);
    if (service_) ::DdeFreeStringHandle(instance_, service_);
    if (topic_) ::DdeFreeStringHandle(instance_, topic_);
    ::DdeUninitialize(instance_);
    service_ = topic_ = nullptr;
    instance_ = 0;
    if (g_server == this) g_server = nullptr;
    advises_.clear();
    connections_ = 0;
}

void DDEServer::PostAdvise(const std::wstring& item) {
    if (!instance_) return;
    HSZ handle = ::DdeCreateStringHandleW(instance_, item.c_str(), CP_WINUNICODE);
    if (!handle) return;
    // Every WM_DDE_DATA carries a reference to the item's global atom, which
    // its receiver deletes. Wine's DdePostAdvise adds one reference and
    // posts it to every loop on the item, so with two loops the second
    // client finds the atom gone and drops the data. The missing references
    // are added here.
    if (RunsUnderWine()) {
        for (int extra = LoopsOn(item) - 1; extra > 0; --extra) ::GlobalAddAtomW(item.c_str());
    }
    ::DdePostAdvise(instance_, topic_, handle);
    ::DdeFreeStringHandle(instance_, handle);
}

int DDEServer::LoopsOn(const std::wstring& item) const {
    // DDEML matches items without regard to case.
    int loops = 0;
    for (const auto& [name, conversation] : advises_) {
        if (::lstrcmpiW(name.c_str(), item.c_str()) == 0) ++loops;
    }
    return loops;
}

std::wstring DDEServer::OnRequest(const std::wstring&) { return L"?"; }
void DDEServer::OnAdviseStop(const std::wstring&) {}
bool DDEServer::OnPoke(const std::wstring&, const std::wstring&) { return false; }
void DDEServer::OnLastDisconnect() {}

HDDEDATA CALLBACK DDEServer::Callback(UINT type, UINT format, HCONV conversation, HSZ topic,
                                      HSZ item, HDDEDATA data, ULONG_PTR, ULONG_PTR) {
    if (!g_server) return nullptr;
    return g_server->Transaction(type, format, conversation, topic, item, data);
}

std::wstring DDEServer::ItemText(HSZ item) const {
    wchar_t text[kMaxItemCharacters + 1] = {};
    DWORD length = ::DdeQueryStringW(instance_, item, text, kMaxItemCharacters + 1, CP_WINUNICODE);
    return std::wstring(text, length);
}

bool DDEServer::HasLoop(HCONV conversation, const std::wstring& item) const {
    auto range = advises_.equal_range(item);
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second == conversation) return true;
    }
    return false;
}

void DDEServer::EndAdvise(HCONV conversation, const std::wstring& item) {
    auto range = advises_.equal_range(item);
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second == conversation) {
            advises_.erase(it);
            break;
        }
    }
    if (advises_.count(item) == 0) OnAdviseStop(item);
}

HDDEDATA DDEServer::Transaction(UINT type, UINT format, HCONV conversation, HSZ topic, HSZ item,
                                HDDEDATA data) {
    switch (type) {
        case XTYP_CONNECT_CONFIRM:
            ++connections_;
            return nullptr;
        case XTYP_DISCONNECT: {
            // The loops of a client that went away without stopping them end
            // with it.
            std::vector<std::wstring> ended;
            for (const auto& [name, owner] : advises_) {
                if (owner == conversation) ended.push_back(name);
            }
            for (const std::wstring& name : ended) EndAdvise(conversation, name);
            if (connections_ < 1) return nullptr;
            if (--connections_ == 0) OnLastDisconnect();
            return nullptr;
        }
        case XTYP_REGISTER:
        case XTYP_UNREGISTER:
            return nullptr;
        default:
            break;
    }
    if (format != 0 && format != CF_UNICODETEXT) return nullptr;
    if (::DdeCmpStringHandles(topic, topic_) != 0) return nullptr;
    if (type == XTYP_CONNECT) return reinterpret_cast<HDDEDATA>(TRUE);

    // Whatever is done for the client is done with its rights. Wine has no
    // DDE impersonation (the call always fails there); the operations only
    // touch the document's memory, so under Wine they go on without it.
    const bool impersonating = ::DdeImpersonateClient(conversation) != FALSE;
    if (!impersonating && !RunsUnderWine()) return nullptr;
    const std::wstring name = ItemText(item);
    HDDEDATA result = nullptr;
    switch (type) {
        case XTYP_REQUEST:
        case XTYP_ADVREQ: {
            const std::wstring text = OnRequest(name);
            result = ::DdeCreateDataHandle(
                instance_, reinterpret_cast<LPBYTE>(const_cast<wchar_t*>(text.c_str())),
                static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)), 0, item, format, 0);
            break;
        }
        case XTYP_ADVSTART:
            OnRequest(name);
            // A repeated start on the same item changes DDEML's loop, it
            // does not add one.
            if (!HasLoop(conversation, name)) advises_.emplace(name, conversation);
            result = reinterpret_cast<HDDEDATA>(TRUE);
            break;
        case XTYP_ADVSTOP:
            EndAdvise(conversation, name);
            break;
        case XTYP_POKE: {
            DWORD size = ::DdeGetData(data, nullptr, 0, 0);
            if (size == 0) break;
            std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
            ::DdeGetData(data, reinterpret_cast<LPBYTE>(text.data()), size, 0);
            if (OnPoke(name, std::wstring(text.data()))) {
                PostAdvise(name);
                result = reinterpret_cast<HDDEDATA>(DDE_FACK);
            }
            break;
        }
        case XTYP_ADVDATA:
            result = reinterpret_cast<HDDEDATA>(DDE_FACK);
            break;
        default:
            // XTYP_EXECUTE, XTYP_WILDCONNECT and the rest are refused.
            break;
    }
    if (impersonating) ::RevertToSelf();
    return result;
}
