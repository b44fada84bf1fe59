#include "ui/CommonControls/Edit.h"

#include <vector>

namespace CommonControls {

std::wstring Edit::WindowText(size_t maxCharacters) const {
    if (!Handle()) return std::wstring();
    std::vector<wchar_t> buffer(maxCharacters + 1, L'\0');
    ::GetWindowTextW(Handle(), buffer.data(), static_cast<int>(buffer.size()));
    return buffer.data();
}

void Edit::SetLimit(int characters) { ::SendMessageW(Handle(), EM_SETLIMITTEXT, characters, 0); }

}  // namespace CommonControls
