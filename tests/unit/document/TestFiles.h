#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "common/Utf16.h"
#include "document/ProjectFile.h"

using Bytes = std::vector<uint8_t>;

// A fresh folder under the temporary folder, removed with all it holds.
class TempFolder {
  public:
    TempFolder() {
        static std::atomic<unsigned> counter{0};
        path_ /= "kestrom-document-" +
                 std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
                 std::to_string(counter++);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }
    std::wstring File(const std::wstring& name) const { return (path_ / name).wstring(); }
    // The names in the folder, to see that no temporary file was left.
    std::vector<std::wstring> Names() const {
        std::vector<std::wstring> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_))
            names.push_back(entry.path().filename().wstring());
        return names;
    }

  private:
    std::filesystem::path path_ = std::filesystem::temp_directory_path();
};

inline Bytes FileBytes(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline void PutBytes(const std::wstring& path, const Bytes& bytes) {
    std::ofstream(std::filesystem::path(path), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A text as UTF-16LE, with or without the byte order mark.
inline Bytes Utf16Le(const std::u16string& text, bool bom = true) {
    Bytes bytes = bom ? Bytes{0xFF, 0xFE} : Bytes{};
    for (char16_t unit : text) bytes.insert(bytes.end(), {uint8_t(unit), uint8_t(unit >> 8)});
    return bytes;
}

inline std::string Text(const std::wstring& text) { return Utf16::ToUtf8(text); }

// Every member of a set-up, values by type, raw slot and text, for comparing
// two set-ups with a readable difference.
inline std::string Describe(const ProjectSetup& s) {
    std::ostringstream out;
    out << s.host << ':' << s.port << " protocol " << int(s.protocol) << " slave "
        << int(s.modbusaddress) << " rate " << s.pollrate << " timeout " << s.timeout << " retries "
        << s.retries << " line " << s.line.comport << ',' << s.line.baud << ','
        << int(s.line.databits) << ',' << int(s.line.parity) << ',' << int(s.line.stopbits) << ','
        << s.line.handshaking << " serial " << s.serial << " web " << s.webport << "\npolls";
    for (const Poll& p : s.polls)
        out << ' ' << int(p.FunctionCode()) << '/' << p.start << '/' << p.size << '/'
            << p.formatpreset;
    out << "\nmap";
    for (const auto& [address, entry] : s.datamap.entries())
        out << ' ' << address << '=' << entry.item.type << ':' << entry.item.RawValue() << ':'
            << entry.item.Text() << (entry.ddeLink ? ":linked" : "");
    return out.str();
}

// The id of a process that runs: this one.
uint32_t OwnProcessId();

// A hand-written file of tests/data/document.
inline std::wstring DataFile(const std::wstring& name) {
    return std::wstring(KESTROM_TEST_DATA) + L"/" + name;
}
