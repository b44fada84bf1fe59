#include "document/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "common/Utf16.h"
#include "document/SaveTemporary.h"

namespace FileSystem {

namespace {

std::string Native(const std::wstring& path) { return Utf16::ToUtf8(path); }

// Closes a descriptor when it goes out of scope.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // Closes now; a failed close can mean lost data on some file systems.
    bool Close() {
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// An absolute folder from an environment variable; relative values are
// ignored as the XDG base directory rules ask.
bool FromEnvironment(const char* name, std::string& folder) {
    const char* value = std::getenv(name);
    if (!value || value[0] != '/') return false;
    folder = value;
    return true;
}

bool UnderHome(const char* relative, std::string& folder) {
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') return false;
    folder = std::string(home) + "/" + relative;
    return true;
}

// Creates each missing folder of an absolute path.
bool CreateFolders(const std::string& folder) {
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) break;
    }
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Removes the temporary files that earlier saves of target left when they
// were killed before their rename. Only names of the save's own pattern
// count, and only those whose process no longer runs: a process that still
// runs may be saving the same file right now (a reused id keeps a stray
// file a while longer, which is the safe side).
void RemoveAbandonedTemporaries(const std::string& target) {
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const std::wstring fileName =
        Utf16::FromUtf8(slash == std::string::npos ? target : target.substr(slash + 1));
    DIR* listing = ::opendir(folder.c_str());
    if (!listing) return;
    while (const dirent* entry = ::readdir(listing)) {
        const std::optional<uint32_t> owner =
            SaveTemporary::OwnerOf(Utf16::FromUtf8(entry->d_name), fileName);
        if (!owner || *owner == 0 || *owner > 0x7FFFFFFF) continue;
        if (::kill(static_cast<pid_t>(*owner), 0) == 0 || errno != ESRCH) continue;
        const std::string stray = folder + entry->d_name;
        struct stat info {};
        if (::lstat(stray.c_str(), &info) == 0 && S_ISREG(info.st_mode)) ::unlink(stray.c_str());
    }
    ::closedir(listing);
}

}  // namespace

ReadStatus ReadWholeFile(const std::wstring& path, size_t maxBytes, std::vector<uint8_t>& bytes) {
    bytes.clear();
    Descriptor file(::open(Native(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) return ReadStatus::CantOpen;
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return ReadStatus::CantOpen;
    if (info.st_size == 0) return ReadStatus::Empty;
    if (static_cast<uintmax_t>(info.st_size) > maxBytes) return ReadStatus::TooLarge;
    bytes.resize(static_cast<size_t>(info.st_size));
    size_t got = 0;
    while (got < bytes.size()) {
        ssize_t n = ::read(file.get(), bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            bytes.clear();
            return ReadStatus::ReadError;
        }
        got += static_cast<size_t>(n);
    }
    return ReadStatus::Ok;
}

bool ReplaceWholeFile(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    static std::atomic<unsigned> counter{0};
    std::string target = Native(path);
    // Saving through a symbolic link updates the file it points to and keeps
    // the link.
    if (char* resolved = ::realpath(target.c_str(), nullptr)) {
        target = resolved;
        std::free(resolved);
    }
    RemoveAbandonedTemporaries(target);
    const std::string temporary = target + Utf16::ToUtf8(SaveTemporary::Name(
                                               L"", static_cast<uint32_t>(::getpid()), counter++));
    // The new file keeps the old one's permissions; a new one gets the
    // permissions any new file of the user gets.
    struct stat old {};
    const bool replacing = ::stat(target.c_str(), &old) == 0;
    if (replacing && !S_ISREG(old.st_mode)) return false;
    Descriptor file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                           replacing ? 0600 : 0666));
    if (file.get() < 0) return false;
    bool ok = WriteAll(file.get(), bytes.data(), bytes.size());
    if (ok && replacing) ok = ::fchmod(file.get(), old.st_mode & 07777) == 0;
    ok = ok && ::fsync(file.get()) == 0;
    ok = file.Close() && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) ::unlink(temporary.c_str());
    return ok;
}

// Linux has no shell folders; the usual places stand in for them:
// - common and per-user application data (CSIDL 35 and 26): the user's
//   configuration folder, $XDG_CONFIG_HOME or ~/.config. A system folder such as
//   /etc would not be writable by the user who saves the settings.
// - local application data (CSIDL 28): $XDG_DATA_HOME or ~/.local/share.
// - documents, the user's and the common ones (CSIDL 5 and 46):
//   $XDG_DOCUMENTS_DIR or ~/Documents.
// A missing folder is created, as the shell creates its folders on first use.
bool SpecialFolderPath(int csidl, std::wstring& path) {
    std::string folder;
    bool found = false;
    switch (csidl) {
        case 35:
        case 26:
            found = FromEnvironment("XDG_CONFIG_HOME", folder) || UnderHome(".config", folder);
            break;
        case 28:
            found = FromEnvironment("XDG_DATA_HOME", folder) || UnderHome(".local/share", folder);
            break;
        case 5:
        case 46:
            found = FromEnvironment("XDG_DOCUMENTS_DIR", folder) || UnderHome("Documents", folder);
            break;
        default:
            return false;
    }
    while (found && folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (!found || !CreateFolders(folder)) return false;
    path = Utf16::FromUtf8(folder);
    return true;
}

bool CreateFolder(const std::wstring& path) {
    const std::string folder = Native(path);
    if (::mkdir(folder.c_str(), 0755) == 0) return true;
    struct stat info {};
    return errno == EEXIST && ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool AppendToFile(const std::wstring& path, const std::string& bytes) {
    Descriptor file(::open(Native(path).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (file.get() < 0) return false;
    const bool written =
        WriteAll(file.get(), reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return file.Close() && written;
}

const char* TextLineEnd() { return "\n"; }

wchar_t PathSeparator() { return L'/'; }
const wchar_t* PathSeparators() { return L"/"; }

}  // namespace FileSystem
