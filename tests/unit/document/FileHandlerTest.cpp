#include <gtest/gtest.h>

#include <filesystem>

#include "TestFiles.h"
#include "document/FileHandler.h"
#include "json/json.h"

namespace {

struct ReadOutcome {
    bool ok;
    int line;
    std::wstring error;
    json::jsonObject object;
};

ReadOutcome ReadFile(const std::wstring& path) {
    ReadOutcome outcome{};
    outcome.line = -1;
    outcome.ok = FileHandler(path).Read(outcome.object, outcome.line, outcome.error);
    return outcome;
}

TEST(FileHandler, WritesAByteOrderMarkAndUtf16LittleEndianCodeUnits) {
    TempFolder folder;
    json::jsonObject object;
    // e acute (one unit), the euro sign (one unit), G clef (a surrogate pair).
    object.SetString(L"a", L"\u00E9\u20AC\U0001D11E");
    ASSERT_TRUE(FileHandler(folder.File(L"w.xmb")).Write(object));

    std::vector<uint8_t> expected = {
        0xFF, 0xFE,                                              // byte order mark
        '{',  0,    '"',  0,    'a', 0, '"', 0, ':', 0, '"', 0,  // {"a":"
        0xE9, 0x00,                                              // U+00E9
        0xAC, 0x20,                                              // U+20AC
        0x34, 0xD8, 0x1E, 0xDD,                                  // U+1D11E as D834 DD1E
        '"',  0,    '}',  0,                                     // "}, no terminator, no line end
    };
    EXPECT_EQ(FileBytes(folder.File(L"w.xmb")), expected);
}

TEST(FileHandler, IgnoresAnOddLastByteAndKeepsANullCharacterInsideAString) {
    TempFolder folder;
    std::vector<uint8_t> bytes = Utf16LeBytes(std::u16string(u"{\"s\":\"a\0b\"}", 11));
    bytes.push_back('}');  // half a code unit
    PutBytes(folder.File(L"odd.xmb"), bytes);
    ReadOutcome read = ReadFile(folder.File(L"odd.xmb"));
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(read.object.GetString(L"s")->Value(), std::wstring(L"a\0b", 3));
}

TEST(FileHandler, ReportsAMissingEmptyOrOversizedFileWithItsPathAndLineZero) {
    TempFolder folder;
    const std::wstring missing = folder.File(L"missing.xmb");
    ReadOutcome read = ReadFile(missing);
    EXPECT_FALSE(read.ok);
    EXPECT_EQ(read.error, L"Can't open file : " + missing);
    EXPECT_EQ(read.line, 0);

    read = ReadFile(folder.path().wstring());
    EXPECT_FALSE(read.ok) << "a folder is no file";
    EXPECT_EQ(read.error, L"Can't open file : " + folder.path().wstring());

    const std::wstring empty = folder.File(L"empty.xmb");
    PutBytes(empty, {});
    read = ReadFile(empty);
    EXPECT_FALSE(read.ok);
    EXPECT_EQ(read.error, L"File is empty : " + empty);
    EXPECT_EQ(read.line, 0);

    const std::wstring huge = folder.File(L"huge.xmb");
    PutBytes(huge, Utf16LeBytes(u"{}"));
    std::filesystem::resize_file(huge, FileHandler::kMaxFileBytes + 1);
    read = ReadFile(huge);
    EXPECT_FALSE(read.ok);
    EXPECT_EQ(read.error, L"File is too large : " + huge);
}

TEST(FileHandler, ReportsAParseErrorWithItsLine) {
    TempFolder folder;
    PutBytes(folder.File(L"bad.xmb"), Utf16LeBytes(u"{\r\n\"a\":1\r\n\"b\":2}"));
    ReadOutcome read = ReadFile(folder.File(L"bad.xmb"));
    EXPECT_FALSE(read.ok);
    EXPECT_EQ(read.error, L"Expected ,");
    EXPECT_EQ(read.line, 3) << "the third line holds the member without a comma before it";

    PutBytes(folder.File(L"bare.xmb"), {0xFF, 0xFE});
    read = ReadFile(folder.File(L"bare.xmb"));
    EXPECT_FALSE(read.ok) << "a byte order mark alone holds no object";
    EXPECT_EQ(read.error, L"Expected {");
}

TEST(FileHandler, AppendsTheDefaultExtensionOnlyWhenTheFileNameHasNone) {
    EXPECT_EQ(FileHandler(L"plant", L"xmb").Path(), L"plant.xmb");
    EXPECT_EQ(FileHandler(L"plant", L".xmb").Path(), L"plant.xmb");
    EXPECT_EQ(FileHandler(L"plant.old", L"xmb").Path(), L"plant.old");
    EXPECT_EQ(FileHandler(L"v1.2/plant", L"xmb").Path(), L"v1.2/plant.xmb")
        << "a point in a folder name is no extension";
    EXPECT_EQ(FileHandler(L"plant", nullptr).Path(), L"plant");
    EXPECT_EQ(FileHandler(L"", L"xmb").Path(), L"");
}

TEST(FileHandler, WriteReplacesTheOldFileAndLeavesNoTemporaryFileBehind) {
    TempFolder folder;
    const std::wstring path = folder.File(L"plant.xmb");
    PutBytes(path, std::vector<uint8_t>(5000, 'x'));
    json::jsonObject object;
    object.SetInt(L"n", 1);
    ASSERT_TRUE(FileHandler(path).Write(object));
    EXPECT_EQ(FileBytes(path), Utf16LeBytes(u"{\"n\":1}"));
    EXPECT_EQ(folder.Names(), std::vector<std::wstring>{L"plant.xmb"});
}

TEST(FileHandler, WriteFailsIntoAMissingFolderOrOntoAFolderOrWithoutAPath) {
    TempFolder folder;
    json::jsonObject object;
    EXPECT_FALSE(FileHandler(folder.File(L"no-such-folder/plant.xmb")).Write(object));
    std::filesystem::create_directory(folder.path() / "sub");
    EXPECT_FALSE(FileHandler(folder.File(L"sub")).Write(object));
    EXPECT_TRUE(std::filesystem::is_directory(folder.path() / "sub"));
    EXPECT_FALSE(FileHandler().Write(object));
}

}  // namespace
