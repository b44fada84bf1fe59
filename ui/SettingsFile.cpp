#include "ui/SettingsFile.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "common/IntText.h"
#include "document/FileHandler.h"

SettingsFile::SettingsFile() {
    MakeDataPath(SpecialFolder::CommonAppData, L"Kestrom Master", L"ini", L"Kestrom Master", path_);
}

std::wstring SettingsFile::Read(const wchar_t* section, const wchar_t* key, const wchar_t* fallback,
                                size_t capacity) const {
    std::vector<wchar_t> buffer(capacity, L'\0');
    ::GetPrivateProfileStringW(section, key, fallback, buffer.data(),
                               static_cast<DWORD>(buffer.size()), path_.c_str());
    return buffer.data();
}

void SettingsFile::Write(const wchar_t* section, const wchar_t* key,
                         const std::wstring& value) const {
    if (path_.empty()) return;
    ::WritePrivateProfileStringW(section, key, value.c_str(), path_.c_str());
}

std::optional<int> SettingsFile::WebPort() const {
    const std::wstring text = Read(L"Connection", L"WebPort", L"8888", 64);
    const auto port = ParseIntText(text, 1, 65535);
    if (!port) return std::nullopt;
    return static_cast<int>(*port);
}

std::wstring SettingsFile::RecentFile() const { return Read(L"Files", L"Recent", L"", 1024); }

void SettingsFile::SetRecentFile(const std::wstring& path) const { Write(L"Files", L"Recent", path); }

int SettingsFile::Splitter() const {
    // As _wtoi reads it: a leading number, 0 for none.
    return static_cast<int>(std::wcstol(Read(L"UI", L"Splitter", L"600", 64).c_str(), nullptr, 10));
}

void SettingsFile::SetSplitter(int left) const { Write(L"UI", L"Splitter", std::to_wstring(left)); }
