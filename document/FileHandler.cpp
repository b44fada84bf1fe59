#include "document/FileHandler.h"

#include <cstdint>
#include <sstream>
#include <string_view>
#include <vector>

#include "common/Utf16.h"
#include "document/FileSystem.h"
#include "json/Parser.h"
#include "json/TreeBuilder.h"
#include "json/jsonObject.h"

namespace {

bool Given(const wchar_t* text) { return text && *text; }

// True when the file-name part of the path contains a point, as the runtime's
// path splitting finds an extension.
bool HasExtension(const std::wstring& path) {
    size_t nameStart = path.find_last_of(FileSystem::PathSeparators());
    nameStart = nameStart == std::wstring::npos ? 0 : nameStart + 1;
    return path.find(L'.', nameStart) != std::wstring::npos;
}

std::wstring WithPoint(const wchar_t* extension) {
    return extension[0] == L'.' ? std::wstring(extension) : L"." + std::wstring(extension);
}

std::wstring DecodeUtf16Le(std::span<const uint8_t> bytes) {
    size_t first = 0;
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) first = 2;
    std::u16string units;
    units.reserve((bytes.size() - first) / 2);
    for (size_t i = first; i + 1 < bytes.size(); i += 2) {
        units.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    return Utf16::ToWide(units);
}

std::vector<uint8_t> EncodeUtf16Le(const std::wstring& text) {
    const std::u16string units = Utf16::FromWide(text);
    std::vector<uint8_t> bytes(2 + 2 * units.size());
    bytes[0] = 0xFF;
    bytes[1] = 0xFE;
    uint8_t* out = bytes.data() + 2;
    for (char16_t unit : units) {
        *out++ = static_cast<uint8_t>(unit & 0xFF);
        *out++ = static_cast<uint8_t>(unit >> 8);
    }
    return bytes;
}

}  // namespace

bool MakeDataPath(int folder, const wchar_t* name, const wchar_t* extension,
                  const wchar_t* subFolder, std::wstring& path) {
    std::wstring built;
    if (!FileSystem::SpecialFolderPath(folder, built)) return false;
    if (Given(subFolder)) {
        built += FileSystem::PathSeparator();
        built += subFolder;
        if (built.size() > FileHandler::kMaxPath || !FileSystem::CreateFolder(built)) return false;
    }
    if (Given(name)) {
        built += FileSystem::PathSeparator();
        built += name;
    }
    if (Given(extension)) built += WithPoint(extension);
    if (built.size() > FileHandler::kMaxPath) return false;
    path = std::move(built);
    return true;
}

FileHandler::FileHandler(std::wstring path, const wchar_t* defaultExtension)
    : path_(std::move(path)) {
    if (Given(defaultExtension) && !path_.empty() && !HasExtension(path_))
        path_ += WithPoint(defaultExtension);
}

FileHandler::FileHandler(int folder, const wchar_t* name, const wchar_t* extension,
                         const wchar_t* subFolder) {
    MakeDataPath(folder, name, extension, subFolder, path_);
}

bool FileHandler::Read(json::jsonObject& object, int& line, std::wstring& error) const {
    json::TreeBuilder builder(object);
    return Read(builder, line, error);
}

bool FileHandler::Read(json::ParseHandler& handler, int& line, std::wstring& error) const {
    line = 0;
    std::vector<uint8_t> bytes;
    switch (FileSystem::ReadWholeFile(path_, kMaxFileBytes, bytes)) {
        case FileSystem::ReadStatus::Ok:
            break;
        case FileSystem::ReadStatus::CantOpen:
            error = L"Can't open file : " + path_;
            return false;
        case FileSystem::ReadStatus::Empty:
            error = L"File is empty : " + path_;
            return false;
        case FileSystem::ReadStatus::TooLarge:
            error = L"File is too large : " + path_;
            return false;
        case FileSystem::ReadStatus::ReadError:
            error = L"Can't read file : " + path_;
            return false;
    }
    return ParseBytes(bytes, handler, line, error);
}

bool FileHandler::ParseBytes(std::span<const uint8_t> bytes, json::jsonObject& object, int& line,
                             std::wstring& error) {
    json::TreeBuilder builder(object);
    return ParseBytes(bytes, builder, line, error);
}

bool FileHandler::ParseBytes(std::span<const uint8_t> bytes, json::ParseHandler& handler, int& line,
                             std::wstring& error) {
    const std::wstring text = DecodeUtf16Le(bytes);
    line = 1;
    json::Parser parser(text, line, error);
    return parser.ParseObject(handler);
}

bool FileHandler::Write(const json::jsonBase& value) const {
    std::wostringstream text;
    value.Write(text);
    return WriteText(text.str());
}

bool FileHandler::WriteText(const std::wstring& text) const {
    if (path_.empty()) return false;
    return FileSystem::ReplaceWholeFile(path_, EncodeUtf16Le(text));
}
