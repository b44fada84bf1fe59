#include "DialogTemplateReader.h"

#include <cstdint>
#include <cstring>

namespace {

// Walks the template's words, refusing to read past its end.
class Cursor {
  public:
    Cursor(const uint8_t* begin, size_t size) : begin_(begin), end_(begin + size), at_(begin) {}

    bool ok() const { return ok_; }

    template <typename T>
    T Read() {
        T value{};
        if (!Has(sizeof(T))) return value;
        std::memcpy(&value, at_, sizeof(T));
        at_ += sizeof(T);
        return value;
    }

    // A string, or 0xFFFF and an ordinal (returned as "#N"), or 0 for none.
    std::wstring ReadNameOrOrdinal() {
        uint16_t first = Read<uint16_t>();
        if (first == 0xFFFF) return L"#" + std::to_wstring(Read<uint16_t>());
        std::wstring text;
        for (uint16_t c = first; ok_ && c != 0; c = Read<uint16_t>()) text += static_cast<wchar_t>(c);
        return text;
    }

    std::wstring ReadString() {
        std::wstring text;
        for (uint16_t c = Read<uint16_t>(); ok_ && c != 0; c = Read<uint16_t>()) {
            text += static_cast<wchar_t>(c);
        }
        return text;
    }

    void Skip(size_t bytes) {
        if (Has(bytes)) at_ += bytes;
    }

    void AlignToDword() { Skip((4 - (at_ - begin_) % 4) % 4); }

  private:
    bool Has(size_t bytes) {
        if (static_cast<size_t>(end_ - at_) < bytes) ok_ = false;
        return ok_;
    }

    const uint8_t* begin_;
    const uint8_t* end_;
    const uint8_t* at_;
    bool ok_ = true;
};

// The predefined control classes, named as GetClassNameW names them whether
// the template gives an atom or a name in any case.
std::wstring ClassOf(const std::wstring& name) {
    static const std::pair<const wchar_t*, const wchar_t*> kPredefined[] = {
        {L"#128", L"Button"},  {L"#129", L"Edit"},      {L"#130", L"Static"},
        {L"#131", L"ListBox"}, {L"#132", L"ScrollBar"}, {L"#133", L"ComboBox"}};
    for (const auto& [atom, className] : kPredefined) {
        if (name == atom || _wcsicmp(name.c_str(), className) == 0) return className;
    }
    return name;
}

}  // namespace

std::optional<DialogTemplateContent> ReadDialogTemplate(HMODULE module, int id) {
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), RT_DIALOG);
    if (!resource) return std::nullopt;
    HGLOBAL loaded = LoadResource(module, resource);
    const auto* bytes = static_cast<const uint8_t*>(LockResource(loaded));
    if (!bytes) return std::nullopt;
    Cursor in(bytes, SizeofResource(module, resource));

    if (in.Read<uint16_t>() != 1 || in.Read<uint16_t>() != 0xFFFF) return std::nullopt;
    DialogTemplateContent dialog;
    in.Read<uint32_t>();  // help id
    in.Read<uint32_t>();  // extended style
    dialog.style = in.Read<uint32_t>();
    const uint16_t count = in.Read<uint16_t>();
    in.Read<int16_t>();  // x
    in.Read<int16_t>();  // y
    dialog.width = in.Read<int16_t>();
    dialog.height = in.Read<int16_t>();
    in.ReadNameOrOrdinal();  // menu
    in.ReadNameOrOrdinal();  // window class
    dialog.title = in.ReadString();
    if (dialog.style & DS_SETFONT) {
        dialog.fontPoints = in.Read<uint16_t>();
        in.Read<uint16_t>();  // weight
        in.Read<uint8_t>();   // italic
        in.Read<uint8_t>();   // character set
        dialog.fontFace = in.ReadString();
    }
    for (uint16_t i = 0; i < count && in.ok(); ++i) {
        in.AlignToDword();
        DialogTemplateItem item;
        in.Read<uint32_t>();  // help id
        in.Read<uint32_t>();  // extended style
        item.style = in.Read<uint32_t>();
        item.box.left = in.Read<int16_t>();
        item.box.top = in.Read<int16_t>();
        item.box.right = item.box.left + in.Read<int16_t>();
        item.box.bottom = item.box.top + in.Read<int16_t>();
        item.id = static_cast<int32_t>(in.Read<uint32_t>());
        item.className = ClassOf(in.ReadNameOrOrdinal());
        item.text = in.ReadNameOrOrdinal();
        in.Skip(in.Read<uint16_t>());  // creation data
        dialog.items.push_back(item);
    }
    if (!in.ok()) return std::nullopt;
    return dialog;
}
