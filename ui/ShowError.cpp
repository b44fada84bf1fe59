#include "ui/ShowError.h"

#include <cwchar>

wchar_t* FormatErrorText(DWORD code, wchar_t* buffer, size_t capacity) {
    wchar_t* system = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<wchar_t*>(&system), 0, nullptr);
    // The system's texts end in a line break, which would stand before the
    // bracketed code.
    DWORD shown = length;
    while (shown > 0 && (system[shown - 1] == L'\n' || system[shown - 1] == L'\r')) --shown;
    std::swprintf(buffer, capacity, L"%.*ls (%lu)", static_cast<int>(shown),
                  system ? system : L"", static_cast<unsigned long>(code));
    if (system) ::LocalFree(system);
    return buffer;
}

void ShowError(DWORD code) {
    wchar_t text[1024];
    ::MessageBoxW(nullptr, FormatErrorText(code, text, 1024), L"Error", MB_OK);
}
