#include <windows.h>

#include <algorithm>
#include <vector>

#include "engine/SerialPort.h"

// The ports the system's serial drivers announce, in the order the registry
// enumerates them.
bool EnumerateSerialPorts(std::vector<std::wstring>& list) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE,
                      &key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD longestName = 0;
    DWORD longestData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS) {
        RegCloseKey(key);
        return false;
    }
    std::vector<wchar_t> name(longestName + 1);
    std::vector<wchar_t> data(longestData / sizeof(wchar_t) + 1);
    bool appended = false;
    for (DWORD index = 0;; ++index) {
        std::fill(name.begin(), name.end(), L'\0');
        std::fill(data.begin(), data.end(), L'\0');
        DWORD nameSize = static_cast<DWORD>(name.size());
        // One character short of the buffer, so the text always ends in a zero.
        DWORD dataSize = static_cast<DWORD>((data.size() - 1) * sizeof(wchar_t));
        DWORD type = 0;
        if (RegEnumValueW(key, index, name.data(), &nameSize, nullptr, &type,
                          reinterpret_cast<BYTE*>(data.data()), &dataSize) != ERROR_SUCCESS) {
            break;
        }
        if (type == REG_SZ) {
            list.emplace_back(data.data());
            appended = true;
        }
    }
    RegCloseKey(key);
    return appended;
}
