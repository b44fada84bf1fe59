// Saving under conditions only Linux lets a test create: a folder the saving
// user may not write to, and a disk that refuses bytes part way (the file-size
// limit stands in for a full disk). Both run in a child process so that the
// lowered privileges and limits end with it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>

#include "../TestFiles.h"
#include "document/FileHandler.h"

namespace {

// Runs body in a child process; its result is the child's.
bool InChild(const std::function<bool()>& body) {
    pid_t child = ::fork();
    if (child == 0) ::_exit(body() ? 1 : 0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 1;
}

TEST(SaveFailure, AFailedSaveReportsFailureKeepsTheOldFileAndLeavesNoTemporaryFile) {
    ProjectSetup large;
    for (uint16_t address = 0; address < 2000; ++address)
        large.datamap.Insert(address, DataItem::MakeUnsignedInt(address));
    const struct {
        const char* name;
        bool readOnlyFolder;
        std::function<bool()> limit;  // false when the limit could not be set
    } failures[] = {
        {"a folder the user cannot write", true,
         [] {  // root writes anywhere: save as nobody
             return ::geteuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0);
         }},
        {"a write that fails part way", false,
         [] {
             ::signal(SIGXFSZ, SIG_IGN);  // a write beyond the limit then fails with EFBIG
             rlimit limit{4096, 4096};
             return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
         }},
    };
    for (const auto& [name, readOnlyFolder, limit] : failures) {
        TempFolder folder;
        const std::wstring path = folder.File(L"plant.xmb");
        ASSERT_TRUE(SaveProject(path, ProjectSetup()));
        const Bytes before = FileBytes(path);
        if (readOnlyFolder) ::chmod(folder.path().c_str(), 0555);
        EXPECT_FALSE(InChild([&] { return !limit() || SaveProject(path, large); })) << name;
        EXPECT_EQ(FileBytes(path), before) << name;
        EXPECT_EQ(folder.Names(), std::vector<std::wstring>{L"plant.xmb"}) << name;
    }
}

TEST(SaveFailure, SavingThroughALinkReplacesTheLinkedFileAndKeepsTheLink) {
    TempFolder folder;
    const std::wstring real = folder.File(L"real.xmb"), link = folder.File(L"link.xmb");
    ASSERT_TRUE(SaveProject(real, ProjectSetup()));
    std::filesystem::create_symlink(real, link);
    ProjectSetup changed, opened;
    changed.host = "other";
    ASSERT_TRUE(SaveProject(link, changed));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    ProjectLoadResult result;
    ASSERT_TRUE(OpenProject(real, opened, result));
    EXPECT_EQ(opened.host, "other");
}

// Sets an environment variable for one test and puts the old value back.
class Variable {
  public:
    Variable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~Variable() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(MakeDataPath, UsesTheUsersFoldersCreatesThemAndRefusesWhatItCannotBuild) {
    TempFolder folder;
    Variable home("HOME", folder.path().c_str()), documents("XDG_DOCUMENTS_DIR", nullptr);
    std::wstring path;
    {
        Variable config("XDG_CONFIG_HOME", (folder.path() / "config").c_str());
        ASSERT_TRUE(MakeDataPath(SpecialFolder::CommonAppData, L"Kestrom Master", L"ini",
                                 L"Kestrom Master", path));
        EXPECT_EQ(path, folder.File(L"config/Kestrom Master/Kestrom Master.ini"));
        EXPECT_TRUE(std::filesystem::is_directory(folder.path() / "config" / "Kestrom Master"));
    }
    Variable relative("XDG_CONFIG_HOME", "relative/ignored");
    ASSERT_TRUE(MakeDataPath(SpecialFolder::CommonAppData, L"a", nullptr, nullptr, path));
    EXPECT_EQ(path, folder.File(L".config/a"));
    ASSERT_TRUE(MakeDataPath(SpecialFolder::Documents, L"traffic", L"txt", nullptr, path));
    EXPECT_EQ(path, folder.File(L"Documents/traffic.txt"));
    EXPECT_EQ(FileHandler(SpecialFolder::Documents, L"traffic", L"txt", nullptr).Path(), path);

    path = L"unchanged";
    EXPECT_FALSE(MakeDataPath(12345, L"a", L"b", nullptr, path));
    EXPECT_FALSE(MakeDataPath(SpecialFolder::CommonAppData, std::wstring(300, L'n').c_str(), L"ini",
                              nullptr, path));
    EXPECT_EQ(path, L"unchanged");
    EXPECT_EQ(FileHandler(12345, L"a", L"b", nullptr).Path(), L"");
}

}  // namespace

uint32_t OwnProcessId() { return static_cast<uint32_t>(::getpid()); }
