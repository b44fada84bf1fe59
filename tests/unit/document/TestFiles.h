#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// A fresh folder under the system's temporary folder, removed with all it
// holds when the test ends.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::wstring File(const std::wstring& name) const { return (path_ / name).wstring(); }
    // The names in the folder, to see that no temporary file was left.
    std::vector<std::wstring> Names() const;

  private:
    std::filesystem::path path_;
};

std::vector<uint8_t> FileBytes(const std::wstring& path);
void PutBytes(const std::wstring& path, const std::vector<uint8_t>& bytes);
// The bytes of a text as UTF-16LE, with or without the byte order mark.
std::vector<uint8_t> Utf16LeBytes(const std::u16string& text, bool bom = true);
// A hand-written file of tests/data/document.
std::wstring DataFile(const std::wstring& name);
