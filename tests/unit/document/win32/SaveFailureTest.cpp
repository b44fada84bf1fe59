// Saving while another program holds the file open without sharing, and the
// special folders as the shell gives them.
#include <gtest/gtest.h>
#include <windows.h>


#include "../TestFiles.h"
#include "document/FileHandler.h"

namespace {

TEST(SaveFailure, AFileHeldOpenByAnotherProgramIsNotReplacedAndTheSaveFails) {
    TempFolder folder;
    const std::wstring path = folder.File(L"plant.xmb");
    ASSERT_TRUE(SaveProject(path, ProjectSetup()));
    const Bytes before = FileBytes(path);
    HANDLE held = ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ProjectSetup changed;
    changed.host = "other";
    const bool saved = SaveProject(path, changed);
    ::CloseHandle(held);
    EXPECT_FALSE(saved);
    EXPECT_EQ(FileBytes(path), before);
    EXPECT_EQ(folder.Names(), std::vector<std::wstring>{L"plant.xmb"});
}

TEST(MakeDataPath, BuildsTheSettingsPathInTheCommonApplicationDataFolder) {
    std::wstring path;
    ASSERT_TRUE(MakeDataPath(SpecialFolder::CommonAppData, L"Kestrom Master", L"ini",
                             L"Kestrom Master", path));
    const std::wstring tail = L"\\Kestrom Master\\Kestrom Master.ini";
    ASSERT_GT(path.size(), tail.size());
    EXPECT_EQ(path.substr(path.size() - tail.size()), tail);
    DWORD attributes = ::GetFileAttributesW(path.substr(0, path.size() - 19).c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
    path = L"unchanged";
    EXPECT_FALSE(MakeDataPath(12345, L"a", L"b", nullptr, path));
    EXPECT_FALSE(MakeDataPath(SpecialFolder::Documents, std::wstring(300, L'n').c_str(), L"ini",
                              nullptr, path));
    EXPECT_EQ(path, L"unchanged");
}

}  // namespace

uint32_t OwnProcessId() { return ::GetCurrentProcessId(); }
