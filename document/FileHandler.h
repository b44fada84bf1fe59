#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace json {
class jsonBase;
class jsonObject;
class ParseHandler;
}  // namespace json

// Special folders by their Windows CSIDL numbers (on Linux see
// posix/FileSystem.cpp for the folders that stand in for them).
namespace SpecialFolder {
constexpr int Documents = 5;       // CSIDL_PERSONAL
constexpr int CommonAppData = 35;  // CSIDL_COMMON_APPDATA
}  // namespace SpecialFolder

// Builds the path of a file in a special folder: the folder, then the
// sub-folder (created when missing), the name and the extension, each
// present only when given (null or empty means absent). False, with the path
// left alone, when the folder is unknown, the sub-folder cannot be created or
// the path would not fit the Windows limit of 259 characters.
bool MakeDataPath(int folder, const wchar_t* name, const wchar_t* extension,
                  const wchar_t* subFolder, std::wstring& path);

// One file path with whole-file reading and writing of a JSON object.
//
// Files are UTF-16 little endian with a byte order mark on every platform,
// whatever the width of wchar_t.
class FileHandler {
  public:
    // Files larger than this are refused unread: the largest set-up a user can
    // make (65536 mapped addresses with 255-character texts) stays below it.
    static constexpr size_t kMaxFileBytes = 64u * 1024 * 1024;
    static constexpr size_t kMaxPath = 259;

    FileHandler() = default;
    // The path as given; a default extension (with or without its point) is
    // appended when the path's file name has none.
    explicit FileHandler(std::wstring path, const wchar_t* defaultExtension = nullptr);
    // A file in a special folder, as MakeDataPath builds it; the path stays
    // empty (and every read and write fails) when it cannot be built.
    FileHandler(int folder, const wchar_t* name, const wchar_t* extension,
                const wchar_t* subFolder);

    const std::wstring& Path() const { return path_; }
    void SetPath(std::wstring path) { path_ = std::move(path); }

    // Reads the file into object. On failure error says why ("Can't open
    // file : ", "File is empty : ", "File is too large : " or "Can't read
    // file : " followed by the path, or the parser's message) and line where
    // (0 when the file was not parsed). Whole 16-bit code units are read: an odd
    // last byte is ignored, a byte order mark FF FE at the start is skipped and
    // a null character inside the text is kept.
    bool Read(json::jsonObject& object, int& line, std::wstring& error) const;
    // The same, telling the handler what the file holds instead of building
    // a tree: for files too large to hold as one.
    bool Read(json::ParseHandler& handler, int& line, std::wstring& error) const;

    // Replaces the file with the value's text behind a byte order mark. True
    // only when the whole new file is in place; otherwise the old file is
    // untouched.
    bool Write(const json::jsonBase& value) const;
    // The same with text written already (by json::StreamWriter).
    bool WriteText(const std::wstring& text) const;

    // The text part of Read: parses a file's bytes (byte order mark optional,
    // an odd last byte ignored) into object, counting lines from 1.
    static bool ParseBytes(std::span<const uint8_t> bytes, json::jsonObject& object, int& line,
                           std::wstring& error);
    static bool ParseBytes(std::span<const uint8_t> bytes, json::ParseHandler& handler, int& line,
                           std::wstring& error);

  protected:
    std::wstring path_;
};
