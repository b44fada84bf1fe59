// The client side of the DDE test, a DDEML client written for it: connects
// to "Kestrom Master"/"Master" and checks requests, advise loops, pokes and
// refusals against DdeTestServer. Exit code 0 when every check passed.
#include <windows.h>
// ddeml.h needs the types of windows.h.
#include <ddeml.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {

DWORD g_instance = 0;
// A second client instance: Wine makes one conversation per client instance
// and service, so the second client of the advise checks is its own instance.
DWORD g_instance2 = 0;
std::map<HCONV, DWORD> g_owner;
// The status flags of the last transaction (DDE_FACK when acknowledged).
DWORD g_lastResult = 0;
int g_failures = 0;
// Advise data received, by conversation: the count and the latest text.
std::map<HCONV, int> g_adviseCount;
std::map<HCONV, std::wstring> g_adviseText;

void Check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok) ++g_failures;
}

std::wstring DataText(HDDEDATA data) {
    DWORD size = ::DdeGetData(data, nullptr, 0, 0);
    std::wstring text(size / sizeof(wchar_t), L'\0');
    if (size) ::DdeGetData(data, reinterpret_cast<LPBYTE>(text.data()), size, 0);
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

HDDEDATA CALLBACK Callback(UINT type, UINT, HCONV conversation, HSZ, HSZ, HDDEDATA data, ULONG_PTR,
                           ULONG_PTR) {
    if (type == XTYP_ADVDATA) {
        ++g_adviseCount[conversation];
        g_adviseText[conversation] = DataText(data);
        return reinterpret_cast<HDDEDATA>(DDE_FACK);
    }
    return nullptr;
}

HSZ String(const wchar_t* text, DWORD instance = g_instance) {
    return ::DdeCreateStringHandleW(instance, text, CP_WINUNICODE);
}

void Pump(DWORD ms) {
    const DWORD start = ::GetTickCount();
    MSG msg;
    while (::GetTickCount() - start < ms) {
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::Sleep(10);
    }
}

HCONV Connect(const wchar_t* topic, DWORD instance = g_instance) {
    HSZ service = String(L"Kestrom Master", instance);
    HSZ topicName = String(topic, instance);
    HCONV conversation = ::DdeConnect(instance, service, topicName, nullptr);
    ::DdeFreeStringHandle(instance, service);
    ::DdeFreeStringHandle(instance, topicName);
    if (conversation) g_owner[conversation] = instance;
    return conversation;
}

HDDEDATA Transact(HCONV conversation, UINT type, const wchar_t* item,
                  const std::wstring* poke = nullptr) {
    // Lets the acknowledgement of the previous answer reach the server first.
    Pump(50);
    const DWORD instance = g_owner.count(conversation) ? g_owner[conversation] : g_instance;
    HSZ name = String(item, instance);
    DWORD result = 0;
    HDDEDATA data = ::DdeClientTransaction(
        poke ? reinterpret_cast<LPBYTE>(const_cast<wchar_t*>(poke->c_str())) : nullptr,
        poke ? static_cast<DWORD>((poke->size() + 1) * sizeof(wchar_t)) : 0, conversation, name,
        CF_UNICODETEXT, type, 3000, &result);
    ::DdeFreeStringHandle(instance, name);
    g_lastResult = result;
    return data;
}

std::wstring Request(HCONV conversation, const wchar_t* item) {
    HDDEDATA data = Transact(conversation, XTYP_REQUEST, item);
    if (!data) {
        std::printf("     (%ls: no answer, DDE error 0x%x)\n", item, ::DdeGetLastError(g_instance));
        return L"<no answer>";
    }
    std::wstring text = DataText(data);
    // DDEML owns the data of a synchronous transaction until the next one.
    std::printf("     (%ls: %ls)\n", item, text.c_str());
    return text;
}

}  // namespace

int main() {
    if (::DdeInitializeW(&g_instance, Callback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
        std::printf("FAIL: DdeInitialize\n");
        return 1;
    }
    HCONV first = nullptr;
    for (int attempt = 0; attempt < 50 && !first; ++attempt) {
        first = Connect(L"Master");
        if (!first) Pump(100);
    }
    Check(first != nullptr, "connects to Kestrom Master / Master");
    if (!first) return 1;
    ::DdeInitializeW(&g_instance2, Callback, APPCMD_CLIENTONLY, 0);
    HCONV second = Connect(L"Master", g_instance2);
    if (!second) std::printf("     (second: DDE error 0x%x)\n", ::DdeGetLastError(g_instance));
    Check(second != nullptr, "a second conversation");

    Check(Request(first, L"00100") == L"17", "request 00100 answers 17");
    Check(Request(first, L"100") == L"Bad address", "request 100 answers Bad address");
    Check(Request(first, L"abcde") == L"Bad address", "request abcde answers Bad address");
    Check(Request(first, L"00102") == L"Unknown address", "request 00102 answers Unknown address");
    Check(Connect(L"Other") == nullptr, "a conversation on topic Other is refused");
    std::wstring command = L"[quit]";
    Check(Transact(first, XTYP_EXECUTE, L"00100", &command) == nullptr, "XTYP_EXECUTE is refused");

    // Two advise loops on the changing address 200; ending one keeps the other.
    Check(Transact(first, XTYP_ADVSTART, L"00200") != nullptr, "advise start on 00200");
    Check(Transact(second, XTYP_ADVSTART, L"00200") != nullptr, "second advise start on 00200");
    for (int waited = 0; waited < 50 && !(g_adviseCount[first] > 0 && g_adviseCount[second] > 0);
         ++waited)
        Pump(100);
    Check(g_adviseCount[first] > 0 && g_adviseCount[second] > 0,
          "both loops get data after changes");
    Check(!g_adviseText[first].empty() && g_adviseText[first] != L"0", "the data is the new value");
    // The value changes every 100 ms: each loop sees (nearly) every change.
    g_adviseCount.clear();
    Pump(1500);
    std::printf("     (advise data in 1.5 s: first %d, second %d)\n", g_adviseCount[first],
                g_adviseCount[second]);
    Check(g_adviseCount[first] >= 5 && g_adviseCount[second] >= 5 &&
              std::abs(g_adviseCount[first] - g_adviseCount[second]) <= 2,
          "both loops get every change");
    Transact(first, XTYP_ADVSTOP, L"00200");
    Pump(200);
    g_adviseCount.clear();
    Pump(1000);
    Check(g_adviseCount[first] == 0, "no data after advise stop");
    Check(g_adviseCount[second] > 0, "the other client's loop goes on");
    Transact(second, XTYP_ADVSTOP, L"00200");

    // Pokes: stored, acknowledged and advised.
    Check(Transact(first, XTYP_ADVSTART, L"00101") != nullptr, "advise start on 00101");
    g_adviseCount.clear();
    std::wstring value = L"42";
    Check(Transact(second, XTYP_POKE, L"00101", &value) != nullptr && (g_lastResult & DDE_FACK),
          "poke 00101 = 42 is acknowledged");
    Pump(500);
    Check(Request(second, L"00101") == L"42", "00101 now holds 42");
    Check(g_adviseCount[first] > 0 && g_adviseText[first] == L"42", "the poke was advised");
    Check(Transact(second, XTYP_POKE, L"00102", &value) != nullptr && (g_lastResult & DDE_FACK),
          "poke on an unmapped address is acknowledged");
    Check(Request(second, L"00102") == L"Unknown address", "and changes nothing");
    Transact(second, XTYP_POKE, L"102", &value);
    Check((g_lastResult & DDE_FACK) == 0, "poke on a bad item is refused");
    Transact(first, XTYP_ADVSTOP, L"00101");

    // Conversations that come and go, one ended by DdeUninitialize without
    // a disconnect; the server checks that its count follows them.
    DWORD churn = 0;
    ::DdeInitializeW(&churn, Callback, APPCMD_CLIENTONLY, 0);
    int churned = 0;
    for (int i = 0; i < 3; ++i) {
        HCONV passing = Connect(L"Master", churn);
        if (passing) ++churned;
        Pump(50);
        ::DdeDisconnect(passing);
        ::DdeDisconnect(passing);
    }
    Check(Connect(L"Master", churn) != nullptr && churned == 3, "conversations come and go");
    Pump(200);
    ::DdeUninitialize(churn);
    Pump(200);

    ::DdeDisconnect(second);
    ::DdeDisconnect(first);
    Pump(300);
    ::DdeUninitialize(g_instance2);
    ::DdeUninitialize(g_instance);
    std::printf("%d failure(s)\n", g_failures);
    return g_failures == 0 ? 0 : 1;
}
