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

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "../TestFiles.h"
#include "document/FileHandler.h"
#include "document/ProjectFile.h"

namespace {

// Runs body in a child process; its result is the child's.
bool InChild(const std::function<bool()>& body) {
    pid_t child = ::fork();
    if (child == 0) ::_exit(body() ? 1 : 0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 1;
}

ProjectSetup Large() {
    ProjectSetup setup;
    for (uint16_t address = 0; address < 2000; ++address)
        setup.datamap.Insert(address, DataItem::MakeUnsignedInt(address));
    return setup;
}

TEST(SaveFailure, AFolderTheUserCannotWriteRefusesTheSaveAndKeepsTheOldFile) {
    TempFolder folder;
    const std::wstring path = folder.File(L"plant.xmb");
    ASSERT_TRUE(SaveProject(path, ProjectSetup()));
    const std::vector<uint8_t> before = FileBytes(path);
    ::chmod(folder.path().c_str(), 0555);

    bool saved = InChild([&] {
        // Root writes anywhere; save as nobody, as a user without rights would.
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return true;
        return SaveProject(path, Large());
    });
    EXPECT_FALSE(saved);
    EXPECT_EQ(FileBytes(path), before);
    EXPECT_EQ(folder.Names(), std::vector<std::wstring>{L"plant.xmb"});
}

TEST(SaveFailure, AWriteThatFailsPartWayReportsFailureAndKeepsTheOldFile) {
    TempFolder folder;
    const std::wstring path = folder.File(L"plant.xmb");
    ASSERT_TRUE(SaveProject(path, ProjectSetup()));
    const std::vector<uint8_t> before = FileBytes(path);

    bool saved = InChild([&] {
        ::signal(SIGXFSZ, SIG_IGN);  // a write beyond the limit then fails with EFBIG
        rlimit limit{4096, 4096};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return true;
        return SaveProject(path, Large());
    });
    EXPECT_FALSE(saved);
    EXPECT_EQ(FileBytes(path), before);
    EXPECT_EQ(folder.Names(), std::vector<std::wstring>{L"plant.xmb"})
        << "the temporary file is removed";
}

TEST(SaveFailure, SavingThroughALinkReplacesTheLinkedFileAndKeepsTheLink) {
    TempFolder folder;
    const std::wstring real = folder.File(L"real.xmb");
    const std::wstring link = folder.File(L"link.xmb");
    ASSERT_TRUE(SaveProject(real, ProjectSetup()));
    std::filesystem::create_symlink(real, link);
    ProjectSetup changed;
    changed.host = "other";
    ASSERT_TRUE(SaveProject(link, changed));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    ProjectSetup opened;
    ProjectLoadResult result;
    ASSERT_TRUE(OpenProject(real, opened, result));
    EXPECT_EQ(opened.host, "other");
}

// Sets environment variables for one test and puts the old values back.
class Environment {
  public:
    void Set(const char* name, const char* value) {
        const char* old = std::getenv(name);
        saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~Environment() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second)
                ::setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                ::unsetenv(it->first.c_str());
        }
    }

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(MakeDataPath, PutsApplicationDataInTheUsersConfigurationFolder) {
    TempFolder folder;
    Environment environment;
    const std::string config = folder.path().string() + "/config";
    environment.Set("XDG_CONFIG_HOME", config.c_str());

    std::wstring path;
    ASSERT_TRUE(MakeDataPath(SpecialFolder::CommonAppData, L"Kestrom Master", L"ini",
                             L"Kestrom Master", path));
    EXPECT_EQ(path, folder.File(L"config/Kestrom Master/Kestrom Master.ini"));
    EXPECT_TRUE(std::filesystem::is_directory(folder.path() / "config" / "Kestrom Master"));

    environment.Set("XDG_CONFIG_HOME", "relative/ignored");
    environment.Set("HOME", folder.path().c_str());
    ASSERT_TRUE(MakeDataPath(SpecialFolder::CommonAppData, L"a", nullptr, nullptr, path));
    EXPECT_EQ(path, folder.File(L".config/a"));
}

TEST(MakeDataPath, PutsDocumentsInTheUsersDocumentsFolder) {
    TempFolder folder;
    Environment environment;
    environment.Set("XDG_DOCUMENTS_DIR", nullptr);
    environment.Set("HOME", folder.path().c_str());
    std::wstring path;
    ASSERT_TRUE(MakeDataPath(SpecialFolder::Documents, L"traffic", L"txt", nullptr, path));
    EXPECT_EQ(path, folder.File(L"Documents/traffic.txt"));
    EXPECT_TRUE(std::filesystem::is_directory(folder.path() / "Documents"));
    EXPECT_EQ(FileHandler(SpecialFolder::Documents, L"traffic", L"txt", nullptr).Path(), path);
}

TEST(MakeDataPath, RefusesAnUnknownFolderAndAPathAboveTheLimit) {
    TempFolder folder;
    Environment environment;
    environment.Set("XDG_CONFIG_HOME", folder.path().c_str());
    std::wstring path = L"unchanged";
    EXPECT_FALSE(MakeDataPath(12345, L"a", L"b", nullptr, path));
    EXPECT_FALSE(MakeDataPath(SpecialFolder::CommonAppData, std::wstring(300, L'n').c_str(), L"ini",
                              nullptr, path));
    EXPECT_EQ(path, L"unchanged");
    EXPECT_EQ(FileHandler(12345, L"a", L"b", nullptr).Path(), L"");
}

}  // namespace
