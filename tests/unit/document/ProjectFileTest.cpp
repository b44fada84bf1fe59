#include <gtest/gtest.h>

#include "ProjectSetupMatchers.h"
#include "TestFiles.h"
#include "document/ProjectFile.h"

namespace {

Poll MadePoll(uint8_t function, uint16_t start, uint16_t size, int32_t preset) {
    Poll poll;
    MakePoll(function, start, size, preset, poll);
    return poll;
}

// A set-up in which every member differs from its default.
ProjectSetup Customised() {
    ProjectSetup setup;
    setup.host = "plc-9";
    setup.port = 1502;
    setup.protocol = 1;
    setup.polls = {MadePoll(3, 100, 10, 1), MadePoll(1, 0, 8, 0)};
    setup.modbusaddress = 9;
    setup.datamap.Insert(100, DataItem::MakeUnsignedShort(5));
    setup.pollrate = 250;
    setup.timeout = 400;
    setup.retries = 7;
    setup.line = {7, 115200, 7, 2, 2, 1};
    setup.serial = true;
    setup.webport = 9000;
    return setup;
}

class ProjectFileTest : public ::testing::Test {
  protected:
    // Opens a file holding text into setup.
    bool Open(const std::u16string& text, ProjectSetup& setup) {
        PutBytes(path, Utf16LeBytes(text));
        return OpenProject(path, setup, result);
    }
    bool OpenData(const std::wstring& name, ProjectSetup& setup) {
        return OpenProject(DataFile(name), setup, result);
    }

    TempFolder folder;
    std::wstring path = folder.File(L"project.xmb");
    ProjectLoadResult result;
};

TEST_F(ProjectFileTest, AnEmptyObjectOpensWithDefaultsAndKeepsTheSerialLineAndWebPort) {
    ProjectSetup setup = Customised();
    ASSERT_TRUE(Open(u"{}", setup)) << Text(result.error);

    ProjectSetup expected;
    expected.line = Customised().line;
    expected.webport = 9000;
    expected.serial = false;
    ExpectSameSetup(setup, expected);
    EXPECT_TRUE(result.notes.empty());
}

TEST_F(ProjectFileTest, AFailedOpenChangesNothingAndSaysWhy) {
    struct Case {
        std::u16string text;
        std::wstring error;
    } cases[] = {
        {u"{\"polls\":[{\"function\":3,\"start\":0}]}",
         L"Poll 1 needs an integer function, start and size"},
        {u"{\"polls\":[{\"function\":3,\"start\":0,\"size\":1},5]}", L"Poll 2 is not an object"},
        {u"{\"polls\":[{\"function\":3,\"start\":\"0\",\"size\":1}]}",
         L"Poll 1 needs an integer function, start and size"},
        {u"{\"webport\":1,\"host\":\"x\",\"polls\":[", L"Expected number"},
        {u"{\"a\":" + std::u16string(1000, u'[') + u"]}", L"Nesting deeper than 128 levels"},
        {std::u16string(u"\xD800\x0001\xFFFF{}", 5), L"Expected {"},
    };
    for (const Case& c : cases) {
        ProjectSetup setup = Customised();
        EXPECT_FALSE(Open(c.text, setup)) << Text(c.text);
        EXPECT_EQ(result.error, c.error) << Text(c.text);
        ExpectSameSetup(setup, Customised());
    }
}

TEST_F(ProjectFileTest, SkipsDataMapElementsThatLackAMemberOrHaveTheWrongTypes) {
    ProjectSetup setup;
    ASSERT_TRUE(
        Open(u"{\"datamap\":[{\"addr\":7,\"type\":2},5,{\"addr\":8,\"type\":2,\"value\":3},"
             u"{\"addr\":\"9\",\"type\":2,\"value\":\"3\"}]}",
             setup));
    EXPECT_TRUE(setup.datamap.empty());
    EXPECT_TRUE(result.notes.empty()) << "elements without the members are skipped silently";
}

TEST_F(ProjectFileTest, ALaterDataMapElementForTheSameAddressWins) {
    ProjectSetup setup;
    ASSERT_TRUE(
        Open(u"{\"datamap\":[{\"addr\":7,\"type\":2,\"value\":\"1\"},"
             u"{\"addr\":65543,\"type\":3,\"value\":\"2\"}]}",
             setup));
    ASSERT_EQ(setup.datamap.size(), 1u);
    EXPECT_EQ(setup.datamap.Find(7)->item.type, DataItem::UnsignedInt) << "65543 is address 7";
    EXPECT_EQ(setup.datamap.Find(7)->item.AsUnsignedInt(), 2u);
}

TEST_F(ProjectFileTest, NarrowFieldsKeepTheirLowBitsAndWideOnesAllBits) {
    ProjectSetup setup;
    ASSERT_TRUE(
        Open(u"{\"port\":70000,\"comport\":65537,\"databits\":264,\"modbusaddress\":-1,"
             u"\"baud\":-1,\"pollrate\":-2,\"webport\":-3}",
             setup));
    EXPECT_EQ(setup.port, 4464);
    EXPECT_EQ(setup.line.comport, 1u);
    EXPECT_EQ(setup.line.databits, 8);
    EXPECT_EQ(setup.modbusaddress, 255);
    EXPECT_EQ(setup.line.baud, 0xFFFFFFFFu);
    EXPECT_EQ(setup.pollrate, 0xFFFFFFFEu);
    EXPECT_EQ(setup.webport, -3);
}

TEST_F(ProjectFileTest, MembersOfTheWrongTypeCountAsAbsent) {
    ProjectSetup setup = Customised();
    ASSERT_TRUE(
        Open(u"{\"port\":\"1\",\"host\":5,\"pollrate\":1.5,\"Serial\":1,\"baud\":TRUE,"
             u"\"polls\":{},\"datamap\":null,\"webport\":\"80\"}",
             setup));
    ProjectSetup expected;
    expected.line = Customised().line;
    expected.webport = 9000;
    ExpectSameSetup(setup, expected);
}

TEST_F(ProjectFileTest, WritesTheMembersInNameOrder) {
    ProjectSetup setup;
    setup.polls = {MadePoll(3, 100, 10, 1)};
    setup.datamap.Insert(100, DataItem::MakeUnsignedShort(17));
    ASSERT_TRUE(SaveProject(path, setup));
    const std::u16string expected =
        u"{\"Serial\":false,\"baud\":9600,\"comport\":1,\"databits\":8,"
        u"\"datamap\":[{\"addr\":100,\"type\":2,\"value\":\"17\"}],\"handshaking\":0,"
        u"\"host\":\"localhost\",\"modbusaddress\":1,\"parity\":0,\"pollrate\":1000,"
        u"\"polls\":[{\"formatpreset\":1,\"function\":3,\"size\":10,\"start\":100}],\"port\":502,"
        u"\"protocol\":0,\"retries\":3,\"stopbits\":0,\"timeout\":1000,\"webport\":8888}";
    EXPECT_EQ(FileBytes(path), Utf16LeBytes(expected));
}

TEST_F(ProjectFileTest, OpensAHandWrittenProjectInTheFileDialect) {
    ProjectSetup setup = Customised();
    ASSERT_TRUE(OpenData(L"plant.xmb", setup)) << Text(result.error);
    EXPECT_EQ(setup.host, "192.168.1.20");
    EXPECT_EQ(setup.port, 502);
    EXPECT_EQ(setup.modbusaddress, 17);
    EXPECT_EQ(setup.pollrate, 500u);
    EXPECT_EQ(setup.timeout, 800u);
    EXPECT_EQ(setup.retries, 2u);
    EXPECT_EQ(setup.webport, 8080);
    EXPECT_FALSE(setup.serial);
    ASSERT_EQ(setup.polls.size(), 3u);
    ExpectPoll(setup.polls[0], 3, 100, 10, 1);
    ExpectPoll(setup.polls[1], 4, 200, 4, 3);
    ExpectPoll(setup.polls[2], 1, 0, 16, 0);
    ASSERT_EQ(setup.datamap.size(), 4u) << "the element with a Null value is skipped";
    EXPECT_EQ(setup.datamap.Find(100)->item.AsUnsignedShort(), 1234);
    EXPECT_EQ(setup.datamap.Find(200)->item.AsFloat(), 21.5f);
    EXPECT_TRUE(setup.datamap.Find(0)->item.AsBit());
    EXPECT_FALSE(setup.datamap.Contains(1));
    EXPECT_TRUE(result.notes.empty());
}

TEST_F(ProjectFileTest, OpensASerialProjectAndAFileWithoutByteOrderMark) {
    ProjectSetup setup;
    ASSERT_TRUE(OpenData(L"serial-rtu.xmb", setup)) << Text(result.error);
    EXPECT_TRUE(setup.serial);
    EXPECT_EQ(setup.protocol, 1);
    EXPECT_EQ(setup.line, (SerialLineSettings{4, 19200, 8, 2, 0, 1}));
    EXPECT_EQ(setup.datamap.Find(40)->item.AsFloat(), -3.25f);
    EXPECT_EQ(setup.datamap.Find(41)->item.text, "PUMP A");

    ASSERT_TRUE(OpenData(L"no-bom.xmb", setup)) << Text(result.error);
    EXPECT_EQ(setup.host, "plc-7");
    EXPECT_EQ(setup.port, 1502);
    ASSERT_EQ(setup.polls.size(), 1u);
    ExpectPoll(setup.polls[0], 6, 9, 1, 1);
    EXPECT_FALSE(setup.serial);
    EXPECT_EQ(setup.line, (SerialLineSettings{4, 19200, 8, 2, 0, 1})) << "kept from before";
}

TEST_F(ProjectFileTest, DropsOrCorrectsPollsThatCannotBePolledAndSaysSo) {
    ProjectSetup setup;
    ASSERT_TRUE(OpenData(L"corrections.xmb", setup)) << Text(result.error);
    ASSERT_EQ(setup.polls.size(), 5u);
    ExpectPoll(setup.polls[0], 3, 20, 2, 1);   // bit preset on a register function
    ExpectPoll(setup.polls[1], 1, 30, 8, 0);   // float preset on a bit function
    ExpectPoll(setup.polls[2], 6, 40, 1, 1);   // a double cannot go in one register
    ExpectPoll(setup.polls[3], 16, 50, 2, 1);  // no preset 200
    ExpectPoll(setup.polls[4], 4, 60, 3, 7);   // suits: kept

    using Kind = ProjectLoadNote::Kind;
    std::vector<std::pair<Kind, uint32_t>> notes;
    for (const ProjectLoadNote& note : result.notes) notes.emplace_back(note.kind, note.where);
    std::vector<std::pair<Kind, uint32_t>> expected = {
        {Kind::PollUnknownFunction, 1},  {Kind::PollSizeZero, 2},
        {Kind::PresetCorrected, 3},      {Kind::PresetCorrected, 4},
        {Kind::PresetCorrected, 5},      {Kind::PresetCorrected, 6},
        {Kind::DataTypeUnknown, 10},     {Kind::DataTypeUnknown, 11},
        {Kind::DataValueUnreadable, 12},
    };
    EXPECT_EQ(notes, expected);
    EXPECT_EQ(result.notes[0].text, L"Poll 1: function 9 is not supported; the poll was left out");
    EXPECT_EQ(result.notes[2].text,
              L"Poll 3: format preset 0 does not suit function 3; preset 1 is used");

    EXPECT_FALSE(setup.datamap.Contains(10));
    EXPECT_FALSE(setup.datamap.Contains(11));
    ASSERT_TRUE(setup.datamap.Contains(12)) << "an unreadable value keeps its address mapped";
    EXPECT_EQ(setup.datamap.Find(12)->item.AsUnsignedShort(), 0);
    EXPECT_EQ(setup.datamap.Find(13)->item.AsUnsignedInt(), 4000000000u);
}

}  // namespace
