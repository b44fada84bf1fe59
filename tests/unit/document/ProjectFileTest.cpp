#include <gtest/gtest.h>

#include <cfloat>

#include "TestFiles.h"
#include "document/FileHandler.h"
#include "json/json.h"

namespace {

Poll MadePoll(uint8_t function, uint16_t start, uint16_t size, int32_t preset) {
    Poll poll;
    MakePoll(function, start, size, preset, poll);
    return poll;
}

// A set-up in which every member differs from its default.
ProjectSetup Customised() {
    // clang-format off
    ProjectSetup setup{.host = "plc-9", .port = 1502, .protocol = 1,
                       .polls = {MadePoll(3, 100, 10, 1), MadePoll(1, 0, 8, 0)},
                       .modbusaddress = 9, .datamap = {}, .pollrate = 250, .timeout = 400,
                       .retries = 7,
                       .line = {7, 115200, 7, 2, 2, 1}, .serial = true, .webport = 9000};
    // clang-format on
    setup.datamap.Insert(100, DataItem::MakeUnsignedShort(5));
    return setup;
}

// After a file that does not name them: the defaults, with the serial line and
// the web port kept from before.
ProjectSetup DefaultsAfterCustomised() {
    return {.polls = {}, .datamap = {}, .line = {7, 115200, 7, 2, 2, 1}, .webport = 9000};
}

class ProjectFile : public ::testing::Test {
  protected:
    bool Open(const std::u16string& text, ProjectSetup& setup) {
        PutBytes(path, Utf16Le(text));
        return OpenProject(path, setup, result);
    }

    TempFolder folder;
    std::wstring path = folder.File(L"project.xmb");
    ProjectLoadResult result;
};

TEST_F(ProjectFile, IsWrittenAsUtf16LittleEndianWithAByteOrderMarkMembersInNameOrder) {
    json::jsonObject object;
    object.SetString(L"a", L"\u00E9\u20AC\U0001D11E");
    ASSERT_TRUE(FileHandler(path).Write(object));
    EXPECT_EQ(FileBytes(path), (Bytes{0xFF, 0xFE,  // byte order mark
                                      '{',  0,    '"',  0,    'a',  0,    '"',  0, ':',
                                      0,    '"',  0,    0xE9, 0x00, 0xAC, 0x20,  // U+00E9, U+20AC
                                      0x34, 0xD8, 0x1E, 0xDD,  // U+1D11E as D834 DD1E
                                      '"',  0,    '}',  0}))   // no terminator, no line end
    ;

    // Texts go out as they are held, a double quote doubled.
    ProjectSetup setup;
    setup.host = "a\"b";
    setup.polls = {MadePoll(3, 100, 10, 1)};
    setup.datamap.Insert(100, DataItem::MakeUnsignedShort(17));
    setup.datamap.Insert(101, DataItem::MakeString("say \"hi\""));
    setup.datamap.Insert(102, DataItem::MakeFloat(0.5f));
    ASSERT_TRUE(SaveProject(path, setup));
    EXPECT_EQ(FileBytes(path),
              Utf16Le(u"{\"Serial\":false,\"baud\":9600,\"comport\":1,\"databits\":8,"
                      u"\"datamap\":[{\"addr\":100,\"type\":2,\"value\":\"17\"},"
                      u"{\"addr\":101,\"type\":6,\"value\":\"say \"\"hi\"\"\"},"
                      u"{\"addr\":102,\"type\":4,\"value\":\"0.5\"}],\"handshaking\":0,"
                      u"\"host\":\"a\"\"b\",\"modbusaddress\":1,\"parity\":0,\"pollrate\":1000,"
                      u"\"polls\":[{\"formatpreset\":1,\"function\":3,\"size\":10,\"start\":100}],"
                      u"\"port\":502,\"protocol\":0,\"retries\":3,\"stopbits\":0,\"timeout\":1000,"
                      u"\"webport\":8888}"));
    EXPECT_EQ(folder.Names(), std::vector<std::wstring>{L"project.xmb"})
        << "the old file replaced, no temporary file left";
}

TEST_F(ProjectFile, ReadsBackEveryMemberAndTypeAsSavedNullCharactersIncluded) {
    ProjectSetup saved = Customised();
    const std::string text = std::string("q\"uo\\te,{}[]:\t", 14) + '\0' + "\xC4\xE9\xFF";
    using D = DataItem;
    const DataItem items[] = {
        D::MakeBit(true),        D::MakeUnsignedShort(65535), D::MakeUnsignedInt(~0u),
        D::MakeFloat(-FLT_MAX),  D::MakeFloat(1e-45f),        D::MakeDouble(DBL_MAX),
        D::MakeDouble(4.9e-324), D::MakeString(text),         D::MakeString(std::string(255, 'q')),
        D::MakeByte(255)};
    for (uint16_t i = 0; i < std::size(items); ++i) saved.datamap.Insert(65535 - i, items[i]);
    for (const ModbusFunction& function : FunctionTable())
        saved.polls.push_back(
            MadePoll(function.code, 65535, 65535, SuitablePreset(function.code, 7)));
    ASSERT_TRUE(SaveProject(path, saved));
    Bytes bytes = FileBytes(path);
    bytes.push_back('}');  // half a code unit, which is ignored
    PutBytes(path, bytes);
    ProjectSetup opened;
    ASSERT_TRUE(OpenProject(path, opened, result)) << Text(result.error) << " line " << result.line;
    EXPECT_TRUE(result.notes.empty());
    EXPECT_EQ(Describe(opened), Describe(saved));

    ProjectSetup longText;
    longText.datamap.Insert(1, DataItem::MakeString(std::string(300, 'q')));
    ASSERT_TRUE(SaveProject(path, longText));
    ASSERT_TRUE(OpenProject(path, opened, result));
    EXPECT_EQ(opened.datamap.Find(1)->item.Text(), std::string(255, 'q')) << "cut to 255";
}

TEST_F(ProjectFile, TakesDefaultsLowBitsAndTheLaterOfTwoEntriesAndSkipsUnusableElements) {
    ProjectSetup setup = Customised();
    ASSERT_TRUE(Open(u"{}", setup)) << Text(result.error);
    EXPECT_EQ(Describe(setup), Describe(DefaultsAfterCustomised()));
    setup = Customised();
    ASSERT_TRUE(
        Open(u"{\"port\":\"1\",\"host\":5,\"pollrate\":1.5,\"Serial\":1,\"baud\":TRUE,"
             u"\"polls\":{},\"datamap\":null,\"webport\":\"80\"}",
             setup));
    EXPECT_EQ(Describe(setup), Describe(DefaultsAfterCustomised()))
        << "wrong types count as absent";

    ASSERT_TRUE(Open(
        u"{\"port\":70000,\"comport\":65537,\"databits\":264,\"modbusaddress\":-1,"
        u"\"baud\":-1,\"pollrate\":-2,\"webport\":-3,\"datamap\":["
        u"{\"addr\":7,\"type\":2},5,{\"addr\":8,\"type\":2,\"value\":3},"
        u"{\"addr\":\"9\",\"type\":2,\"value\":\"3\"},"
        u"{\"addr\":7,\"type\":2,\"value\":\"1\"},{\"addr\":65543,\"type\":3,\"value\":\"2\"}]}",
        setup));
    EXPECT_EQ(setup.port, 4464);
    EXPECT_EQ(setup.line.comport, 1u);
    EXPECT_EQ(setup.line.databits, 8);
    EXPECT_EQ(setup.modbusaddress, 255);
    EXPECT_EQ(setup.line.baud, 0xFFFFFFFFu);
    EXPECT_EQ(setup.pollrate, 0xFFFFFFFEu);
    EXPECT_EQ(setup.webport, -3) << "wide fields keep all bits";
    ASSERT_EQ(setup.datamap.size(), 1u) << "elements without the members are skipped";
    EXPECT_EQ(setup.datamap.Find(7)->item.AsUnsignedInt(), 2u) << "65543 is address 7, the later";
    EXPECT_TRUE(result.notes.empty());
}

// The lists are read element by element as the text goes by; a file must
// still mean what it means as a whole: the later of two members of one name
// counts, and a member of the wrong type counts as absent, at every level.
TEST_F(ProjectFile, ReadsEachListFromItsLastMemberOfThatNameAndEachMemberFromItsLastValue) {
    const char16_t* poll = u"{\"function\":3,\"start\":0,\"size\":1}";
    const std::u16string bad = u"[5]", good = u"[" + std::u16string(poll) + u"]";
    const struct {
        const char* name;
        std::u16string text;
        const char* polls;  // nullptr: the file is refused
        const char* map;
    } cases[] = {
        {"a malformed list replaced", u"{\"polls\":" + bad + u",\"polls\":" + good + u"}",
         "polls 3/0/1/1", "map"},
        {"a list replaced by a malformed one", u"{\"polls\":" + good + u",\"polls\":" + bad + u"}",
         nullptr, nullptr},
        {"a list replaced by a null", u"{\"polls\":" + good + u",\"polls\":null}", "polls", "map"},
        {"an object replaced by a list", u"{\"polls\":{},\"polls\":" + good + u"}", "polls 3/0/1/1",
         "map"},
        {"a data map replaced whole",
         u"{\"datamap\":[{\"addr\":1,\"type\":2,\"value\":\"5\"}],"
         u"\"datamap\":[{\"addr\":2,\"type\":2,\"value\":\"6\"}]}",
         "polls", "map 2=2:6:"},
        {"a data map replaced by a number",
         u"{\"datamap\":[{\"addr\":1,\"type\":2,\"value\":\"5\"}],\"datamap\":1.5}", "polls",
         "map"},
        {"members given twice, the later of the wrong type",
         u"{\"datamap\":[{\"addr\":1,\"type\":2,\"value\":\"5\",\"addr\":{\"addr\":3}},"
         u"{\"addr\":4,\"type\":2,\"value\":7,\"value\":\"8\"},"
         u"{\"addr\":5,\"type\":[2],\"value\":\"9\"},[{\"addr\":6}],\"x\",2.5]}",
         "polls", "map 4=2:8:"},
        {"a poll member given twice",
         u"{\"polls\":[{\"function\":3,\"start\":0,\"size\":1,\"size\":\"2\"}]}", nullptr,
         nullptr},
        {"unknown members and lists elsewhere",
         u"{\"x\":{\"polls\":[5],\"datamap\":[5]},\"y\":[[{\"polls\":1}]],\"polls\":" + good +
             u"}",
         "polls 3/0/1/1", "map"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ProjectSetup setup;
        const bool opened = Open(c.text, setup);
        EXPECT_EQ(opened, c.polls != nullptr) << Text(result.error);
        if (!opened) continue;
        const std::string described = Describe(setup);
        const std::string lists = described.substr(described.find("polls"));
        EXPECT_EQ(lists, std::string(c.polls) + "\n" + c.map);
    }
}

TEST_F(ProjectFile, RefusesABadFileWithItsReasonAndChangesNothing) {
    const struct {
        Bytes bytes;
        std::wstring error;
        int line;
    } cases[] = {
        {Utf16Le(u"{\"polls\":[{\"function\":3,\"start\":0}]}"),
         L"Poll 1 needs an integer function, start and size", 0},
        {Utf16Le(u"{\"polls\":[{\"function\":3,\"start\":0,\"size\":1},5]}"),
         L"Poll 2 is not an object", 0},
        {Utf16Le(u"{\r\n\"webport\":1\r\n\"polls\":["), L"Expected ,", 3},
        {Utf16Le(u"{\"a\":" + std::u16string(1000, u'[') + u"]}"),
         L"Nesting deeper than 128 levels", 1},
        {Utf16Le(std::u16string(u"\xD800\x0001\xFFFF{}", 5)), L"Expected {", 1},
        {{0xFF, 0xFE}, L"Expected {", 1},  // a byte order mark alone
        {{}, L"File is empty : ", 0},
    };
    for (const auto& c : cases) {
        PutBytes(path, c.bytes);
        ProjectSetup setup = Customised();
        EXPECT_FALSE(OpenProject(path, setup, result)) << Text(c.error);
        EXPECT_EQ(result.error, c.error == L"File is empty : " ? c.error + path : c.error);
        EXPECT_EQ(result.line, c.line) << Text(c.error);
        EXPECT_EQ(Describe(setup), Describe(Customised()));
    }
    const std::wstring missing = folder.File(L"missing.xmb"), huge = folder.File(L"huge.xmb");
    PutBytes(huge, Utf16Le(u"{}"));
    std::filesystem::resize_file(huge, FileHandler::kMaxFileBytes + 1);
    const std::pair<std::wstring, std::wstring> unreadable[] = {
        {missing, L"Can't open file : "},
        {huge, L"File is too large : "},
        {folder.path().wstring(), L"Can't open file : "}};
    for (const auto& [file, error] : unreadable) {
        ProjectSetup setup;
        EXPECT_FALSE(OpenProject(file, setup, result));
        EXPECT_EQ(result.error, error + file);
        EXPECT_EQ(result.line, 0);
    }
}

TEST_F(ProjectFile, OpensHandWrittenProjectsInTheFileDialect) {
    ProjectSetup setup = Customised();
    ASSERT_TRUE(OpenProject(DataFile(L"plant.xmb"), setup, result)) << Text(result.error);
    EXPECT_EQ(Describe(setup),
              "192.168.1.20:502 protocol 0 slave 17 rate 500 timeout 800 retries 2 "
              "line 7,115200,7,2,2,1 serial 0 web 8080\npolls 3/100/10/1 4/200/4/3 1/0/16/0\n"
              "map 0=1:1: 100=2:1234: 101=2:17: 200=4:1101791232:")  // 21.5f
        << "the element with a Null value is skipped";

    ASSERT_TRUE(OpenProject(DataFile(L"serial-rtu.xmb"), setup, result)) << Text(result.error);
    EXPECT_TRUE(setup.serial);
    EXPECT_EQ(setup.line, (SerialLineSettings{4, 19200, 8, 2, 0, 1}));
    EXPECT_EQ(setup.datamap.Find(40)->item.AsFloat(), -3.25f);
    EXPECT_EQ(setup.datamap.Find(41)->item.Text(), "PUMP A");
    ASSERT_TRUE(OpenProject(DataFile(L"no-bom.xmb"), setup, result)) << Text(result.error);
    EXPECT_EQ(setup.host + ":" + std::to_string(setup.port), "plc-7:1502");
    EXPECT_FALSE(setup.serial);
    EXPECT_EQ(setup.line, (SerialLineSettings{4, 19200, 8, 2, 0, 1})) << "kept from before";
}

TEST_F(ProjectFile, DropsOrCorrectsPollsAndEntriesThatCannotBeUsedAndSaysSo) {
    ProjectSetup setup;
    ASSERT_TRUE(OpenProject(DataFile(L"corrections.xmb"), setup, result)) << Text(result.error);
    // Bit preset on a register function, float preset on a bit function, a double
    // in one register, no preset 200, and one that suits.
    EXPECT_EQ(Describe(setup).substr(Describe(setup).find("polls")),
              "polls 3/20/2/1 1/30/8/0 6/40/1/1 16/50/2/1 4/60/3/7\n"
              "map 12=2:0: 13=3:4000000000:")
        << "an unreadable value keeps its address mapped";
    using Kind = ProjectLoadNote::Kind;
    std::vector<std::pair<Kind, uint32_t>> notes;
    for (const ProjectLoadNote& note : result.notes) notes.emplace_back(note.kind, note.where);
    EXPECT_EQ(notes, (std::vector<std::pair<Kind, uint32_t>>{{Kind::PollUnknownFunction, 1},
                                                             {Kind::PollSizeZero, 2},
                                                             {Kind::PresetCorrected, 3},
                                                             {Kind::PresetCorrected, 4},
                                                             {Kind::PresetCorrected, 5},
                                                             {Kind::PresetCorrected, 6},
                                                             {Kind::DataTypeUnknown, 10},
                                                             {Kind::DataTypeUnknown, 11},
                                                             {Kind::DataValueUnreadable, 12}}));
    EXPECT_EQ(result.notes[0].text, L"Poll 1: function 9 is not supported; the poll was left out");
    EXPECT_EQ(result.notes[2].text,
              L"Poll 3: format preset 0 does not suit function 3; preset 1 is used");
}

TEST(FileHandler, AppendsTheDefaultExtensionOnlyToANameWithoutAndRefusesToWriteWhereItCannot) {
    EXPECT_EQ(FileHandler(L"plant", L"xmb").Path(), L"plant.xmb");
    EXPECT_EQ(FileHandler(L"plant", L".xmb").Path(), L"plant.xmb");
    EXPECT_EQ(FileHandler(L"plant.old", L"xmb").Path(), L"plant.old");
    EXPECT_EQ(FileHandler(L"v1.2/plant", L"xmb").Path(), L"v1.2/plant.xmb") << "a folder's point";
    EXPECT_EQ(FileHandler(L"plant", nullptr).Path(), L"plant");
    EXPECT_EQ(FileHandler(L"", L"xmb").Path(), L"");

    TempFolder folder;
    json::jsonObject object;
    EXPECT_FALSE(FileHandler(folder.File(L"no-such-folder/plant.xmb")).Write(object));
    std::filesystem::create_directory(folder.path() / "sub");
    EXPECT_FALSE(FileHandler(folder.File(L"sub")).Write(object));
    EXPECT_TRUE(std::filesystem::is_directory(folder.path() / "sub"));
    EXPECT_FALSE(FileHandler().Write(object));
}

}  // namespace
