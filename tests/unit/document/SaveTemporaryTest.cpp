// The temporary files of killed saves: which names count as a save's
// temporary of a file, and that the next save clears those whose process has
// ended while it leaves every other file alone.
#include <gtest/gtest.h>

#include <algorithm>

#include "TestFiles.h"
#include "document/SaveTemporary.h"

namespace {

// No system hands out a process id this large (Linux stops below 2^22,
// Windows ids stay far below it), so no process with it runs.
constexpr uint32_t kEndedProcess = 2000000000;

TEST(SaveTemporary, RecognisesOnlyTheSavesOwnPatternForTheSameFile) {
    struct Case {
        const wchar_t* name;
        std::optional<uint32_t> owner;
    };
    const Case cases[] = {
        {L"plant.xmb.~4711-0", 4711u},
        {L"plant.xmb.~4294967295-4294967295", 4294967295u},
        {L"plant.xmb.~4294967296-0", std::nullopt},  // no process id is that large
        {L"plant.xmb.~4711-", std::nullopt},
        {L"plant.xmb.~4711", std::nullopt},
        {L"plant.xmb.~-1", std::nullopt},
        {L"plant.xmb~4711-0", std::nullopt},
        {L"plant.xmb", std::nullopt},
        {L"xplant.xmb.~4711-0", std::nullopt},
        {L"plant.xmb.~4711-0.~5-1", std::nullopt},
        {L"plant.xmb.~12345678901-0", std::nullopt},
    };
    // Another file's temporary, "~old" and a user's ".bak" copy are in the
    // removal case below.
    for (const Case& c : cases)
        EXPECT_EQ(SaveTemporary::OwnerOf(c.name, L"plant.xmb"), c.owner) << Text(c.name);
    EXPECT_EQ(SaveTemporary::Name(L"plant.xmb", 4711, 3), L"plant.xmb.~4711-3");
    EXPECT_EQ(SaveTemporary::OwnerOf(SaveTemporary::Name(L"a", 7, 0), L"a"), 7u);
}

TEST(SaveTemporary, TheNextSaveRemovesWhatKilledSavesLeftAndNothingElse) {
    TempFolder folder;
    const std::wstring path = folder.File(L"plant.xmb");
    ASSERT_TRUE(SaveProject(path, ProjectSetup()));
    const std::wstring ended = std::to_wstring(kEndedProcess);
    const std::vector<std::wstring> strays = {L"plant.xmb.~" + ended + L"-0",
                                              L"plant.xmb.~" + ended + L"-17"};
    const std::vector<std::wstring> others = {
        L"other.xmb.~" + ended + L"-0",     // another project's
        L"plant.xmb.~old",                  // not the pattern
        L"plant.xmb.~" + ended + L"-0.bak",  // a user's copy
        SaveTemporary::Name(L"plant.xmb", OwnProcessId(), 3)  // a running process may be saving
    };
    const Bytes half(5000, 0x41);
    for (const auto& name : strays) PutBytes(folder.File(name), half);
    for (const auto& name : others) PutBytes(folder.File(name), half);

    ProjectSetup changed;
    changed.host = "after";
    ASSERT_TRUE(SaveProject(path, changed));

    std::vector<std::wstring> expected = others;
    expected.push_back(L"plant.xmb");
    std::sort(expected.begin(), expected.end());
    std::vector<std::wstring> names = folder.Names();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, expected) << "only the killed saves' temporaries of plant.xmb go";
    ProjectSetup read;
    ProjectLoadResult result;
    ASSERT_TRUE(OpenProject(path, read, result)) << Text(result.error);
    EXPECT_EQ(read.host, "after");
}

}  // namespace
