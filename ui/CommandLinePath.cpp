#include "ui/CommandLinePath.h"

std::wstring CommandLinePath(const wchar_t* commandLine) {
    if (!commandLine) return std::wstring();
    std::wstring line = commandLine;
    const size_t first = line.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return std::wstring();
    line = line.substr(first, line.find_last_not_of(L" \t") - first + 1);
    if (line.front() == L'"' && line.back() == L'"') {
        if (line.size() < 2) return std::wstring();
        line = line.substr(1, line.size() - 2);
    }
    return line;
}
