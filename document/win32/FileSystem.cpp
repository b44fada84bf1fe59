#include "document/FileSystem.h"

#include <shlobj.h>
#include <windows.h>

#include <atomic>
#include <optional>
#include <string>

#include "document/SaveTemporary.h"

namespace FileSystem {

namespace {

// Closes a file handle when it goes out of scope.
class Handle {
  public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (valid()) ::CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool Close() {
        HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return ::CloseHandle(handle) != 0;
    }

  private:
    HANDLE handle_;
};

bool WriteAll(HANDLE file, const uint8_t* data, size_t size) {
    while (size > 0) {
        DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

bool IsFile(const std::wstring& path) {
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Puts the finished temporary file in the target's place with one rename,
// which replaces the old file whole or not at all. ReplaceFileW would keep more
// of the old file's metadata, but where it fails part way it can leave the old
// file renamed away or a stray file of its own beside it.
bool MoveIntoPlace(const std::wstring& temporary, const std::wstring& target) {
    return ::MoveFileExW(temporary.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// Whether a process with this id runs (or cannot be told apart from one
// that does): only an id the system does not know at all counts as ended.
bool ProcessRuns(uint32_t processId) {
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process) {
        DWORD code = 0;
        const bool ended = ::GetExitCodeProcess(process, &code) && code != STILL_ACTIVE;
        ::CloseHandle(process);
        return !ended;
    }
    return ::GetLastError() != ERROR_INVALID_PARAMETER;
}

// Removes the temporary files that earlier saves of path left when they
// were killed before their rename. Only names of the save's own pattern
// count, and only those whose process no longer runs: a process that still
// runs may be saving the same file right now (a reused id keeps a stray
// file a while longer, which is the safe side).
void RemoveAbandonedTemporaries(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"\\/:");
    const std::wstring folder =
        separator == std::wstring::npos ? L"" : path.substr(0, separator + 1);
    const std::wstring fileName =
        separator == std::wstring::npos ? path : path.substr(separator + 1);
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW((path + L".~*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::optional<uint32_t> owner = SaveTemporary::OwnerOf(found.cFileName, fileName);
        if (!owner || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || ProcessRuns(*owner))
            continue;
        ::DeleteFileW((folder + found.cFileName).c_str());
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

}  // namespace

ReadStatus ReadWholeFile(const std::wstring& path, size_t maxBytes, std::vector<uint8_t>& bytes) {
    bytes.clear();
    Handle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return ReadStatus::CantOpen;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) return ReadStatus::CantOpen;
    if (size.QuadPart == 0) return ReadStatus::Empty;
    if (static_cast<unsigned long long>(size.QuadPart) > maxBytes) return ReadStatus::TooLarge;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t got = 0;
    while (got < bytes.size()) {
        size_t left = bytes.size() - got;
        DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
        DWORD read = 0;
        if (!::ReadFile(file.get(), bytes.data() + got, chunk, &read, nullptr) || read == 0) {
            bytes.clear();
            return ReadStatus::ReadError;
        }
        got += read;
    }
    return ReadStatus::Ok;
}

bool ReplaceWholeFile(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    static std::atomic<unsigned> counter{0};
    if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES && !IsFile(path))
        return false;
    RemoveAbandonedTemporaries(path);
    const std::wstring temporary =
        path + SaveTemporary::Name(L"", ::GetCurrentProcessId(), counter++);
    Handle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    bool ok = WriteAll(file.get(), bytes.data(), bytes.size());
    ok = ok && ::FlushFileBuffers(file.get());
    ok = file.Close() && ok;
    ok = ok && MoveIntoPlace(temporary, path);
    if (!ok) ::DeleteFileW(temporary.c_str());
    return ok;
}

bool SpecialFolderPath(int csidl, std::wstring& path) {
    wchar_t buffer[MAX_PATH] = {};
    if (!::SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE)) return false;
    path = buffer;
    return true;
}

bool CreateFolder(const std::wstring& path) {
    return ::CreateDirectoryW(path.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

bool AppendToFile(const std::wstring& path, const std::string& bytes) {
    // FILE_APPEND_DATA alone: every write lands at the end of the file, even
    // when another program appends too.
    Handle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    const bool written =
        WriteAll(file.get(), reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return file.Close() && written;
}

const char* TextLineEnd() { return "\r\n"; }

wchar_t PathSeparator() { return L'\\'; }
const wchar_t* PathSeparators() { return L"\\/:"; }

}  // namespace FileSystem
