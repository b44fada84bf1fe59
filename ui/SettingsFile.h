#pragma once

#include <optional>
#include <string>

// The per-machine settings of the Windows program: an INI file "Kestrom
// Master.ini" in the common application-data folder's "Kestrom Master"
// folder. It holds the web port ("Connection"/"WebPort", read only), the
// most recent project ("Files"/"Recent") and the splitter's position
// ("UI"/"Splitter").
class SettingsFile {
  public:
    SettingsFile();
    // A settings file at another path (tests).
    explicit SettingsFile(std::wstring path) : path_(std::move(path)) {}

    const std::wstring& Path() const { return path_; }

    // The web port when the file names one within 1 to 65535.
    std::optional<int> WebPort() const;
    std::wstring RecentFile() const;
    void SetRecentFile(const std::wstring& path) const;
    // The splitter's left edge (600 when the file has none).
    int Splitter() const;
    void SetSplitter(int left) const;

  private:
    std::wstring Read(const wchar_t* section, const wchar_t* key, const wchar_t* fallback,
                      size_t capacity) const;
    void Write(const wchar_t* section, const wchar_t* key, const std::wstring& value) const;

    std::wstring path_;
};
