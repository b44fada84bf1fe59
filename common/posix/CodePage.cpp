#include "common/CodePage.h"

namespace CodePage {

// Latin-1: every byte is the code point of the same value. Characters outside
// it become '?', as the Windows conversion does for unmappable characters.
std::string NarrowFromWide(const std::wstring& wide) {
    std::string narrow;
    narrow.reserve(wide.size());
    for (wchar_t c : wide) {
        auto code = static_cast<unsigned long>(c);
        narrow.push_back(code <= 0xFF ? static_cast<char>(code) : '?');
    }
    return narrow;
}

std::wstring WideFromNarrow(const std::string& narrow) {
    std::wstring wide;
    wide.reserve(narrow.size());
    for (char c : narrow) wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return wide;
}

}  // namespace CodePage
