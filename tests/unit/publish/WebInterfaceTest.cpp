#include <gtest/gtest.h>

#include "document/VantelDoc.h"
#include "engine/NotificationQueue.h"
#include "publish/WebInterface.h"

namespace {

class WebInterfaceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        doc.Register(&queue, EventItemChanged);
        doc.Register(&queue, EventDocumentChanged);
    }

    void Map(uint16_t address, const DataItem& item) {
        ASSERT_TRUE(doc.Settings().datamap.Insert(address, item)) << address;
    }

    std::string Get(const std::string& target) { return web.Answer(target); }

    std::string Information(const std::string& app = "", bool connected = false) {
        return "{\"app\":\"" + app + "\",\"connected\":" + (connected ? "true" : "false") +
               ",\"program\":\"Kestrom Master\",\"running\":false,\"version\":\"1.0.0.0\"}";
    }

    VantelDoc doc;
    NotificationQueue queue;
    WebInterface web{doc};
};

TEST_F(WebInterfaceTest, SubscribeAnswersEmptyValuesAndTheNextUpdatesCarriesEverySubscribedValue) {
    Map(100, DataItem::MakeUnsignedShort(17));
    Map(101, DataItem::MakeUnsignedShort(18));
    EXPECT_EQ(Get("/subscribe?item=101&item=100&item=102"), R"({"link":false,"values":[]})");
    EXPECT_EQ(Get("/updates"),
              R"({"link":false,"values":[{"name":101,"value":"18"},{"name":100,"value":"17"}]})")
        << "in subscription order; 102 has no entry";
    EXPECT_EQ(Get("/updates"), R"({"link":false,"values":[]})") << "nothing changed since";

    doc.Settings().connected = 1;
    doc.OnValueChanged(100);
    doc.OnValueChanged(101);
    doc.OnValueChanged(100);
    doc.OnValueChanged(7);  // not subscribed
    EXPECT_EQ(Get("/updates"), R"({"link":true,"values":[{"name":100,"value":"17"},)"
                               R"({"name":101,"value":"18"},{"name":100,"value":"17"}]})")
        << "every change in order, repeats included";
}

TEST_F(WebInterfaceTest, SubscribeTakesTheThreeSeparatorsAndOnlyWholeDecimalItems) {
    Get("/subscribe?item[]=5&item%5B%5D=6&item=5x&item=70000&item=");
    EXPECT_EQ(doc.Subscriptions(), (std::vector<uint16_t>{5, 6, 4464}));
    Get("/subscribe?item=-5&item=9");
    EXPECT_TRUE(doc.Subscriptions().empty()) << "the minus sign ends the parameters";
    EXPECT_TRUE(doc.Updates().empty()) << "a new subscription drops the old changes";
}

TEST_F(WebInterfaceTest, TheChangeListKeepsOnlyTheNewestChangesWhenNobodyAsks) {
    Map(1, DataItem::MakeUnsignedShort(1));
    Map(2, DataItem::MakeUnsignedShort(2));
    Get("/subscribe?item=1&item=2");
    for (size_t i = 0; i < VantelDoc::kMaxWebUpdates + 5; ++i) doc.OnValueChanged(1);
    doc.OnValueChanged(2);
    ASSERT_EQ(doc.Updates().size(), VantelDoc::kMaxWebUpdates);
    EXPECT_EQ(doc.Updates().back(), 2) << "the newest change is kept";
}

TEST_F(WebInterfaceTest, IdentWritesAnUnsignedShortAndPostsTheChangeInsteadOfSendingIt) {
    Map(100, DataItem::MakeFloat(3.5f));
    EXPECT_EQ(Get("/ident?item=100&value=0"), R"({"result":"ok"})");
    EXPECT_EQ(doc.Settings().datamap.Find(100)->type, DataItem::Float)
        << "0 is what a Float counts as, so nothing changes";
    EXPECT_FALSE(doc.IsModified());

    EXPECT_EQ(Get("/ident?item=100&value=7"), R"({"result":"ok"})");
    DataItem written = *doc.Settings().datamap.Find(100);
    EXPECT_EQ(written.type, DataItem::UnsignedShort);
    EXPECT_EQ(written.AsUnsignedShort(), 7);
    EXPECT_TRUE(doc.IsModified());

    // Both writes were announced by posts, which the owner's thread picks up.
    std::vector<std::pair<uint32_t, uintptr_t>> posted;
    while (auto note = queue.Pop(0)) posted.emplace_back(note->event, note->wParam);
    const std::vector<std::pair<uint32_t, uintptr_t>> expected = {{EventItemChanged, 100},
                                                                  {EventDocumentChanged, 0},
                                                                  {EventItemChanged, 100},
                                                                  {EventDocumentChanged, 0}};
    EXPECT_EQ(posted, expected);
}

TEST_F(WebInterfaceTest, IdentFailsWithoutExactlyOneItemAndOneValue) {
    Map(100, DataItem::MakeUnsignedShort(5));
    EXPECT_EQ(Get("/ident?item=100"), R"({"result":"failed"})");
    EXPECT_EQ(Get("/ident?item=100&value=1&value=2"), R"({"result":"failed"})");
    EXPECT_EQ(doc.Settings().datamap.Find(100)->AsUnsignedShort(), 5);
    EXPECT_EQ(queue.Size(), 0u) << "a failed write announces nothing";

    EXPECT_EQ(Get("/ident?item=999&value=1"), R"({"result":"ok"})") << "unmapped: ok, no change";
    EXPECT_FALSE(doc.Settings().datamap.Contains(999));
    EXPECT_EQ(Get("/ident?item=100x&value=65537"), R"({"result":"ok"})");
    EXPECT_EQ(doc.Settings().datamap.Find(100)->AsUnsignedShort(), 1) << "leading digits, 16 bits";
}

TEST_F(WebInterfaceTest, ANumberPathAnswersItsEntryAsAnArrayAndOtherwiseTheInformation) {
    doc.SetPath(L"/home/user/plant/boiler.xmb");
    Map(100, DataItem::MakeUnsignedShort(17));
    EXPECT_EQ(Get("/100"), R"([{"name":100,"value":"17"}])");
    EXPECT_EQ(Get("/100abc?x=1"), R"([{"name":100,"value":"17"}])");
    EXPECT_EQ(Get("/101"), Information("boiler.xmb"));
    EXPECT_EQ(Get("/subscribe/"), Information("boiler.xmb")) << "not the subscribe route";
    EXPECT_EQ(Get("/"), Information("boiler.xmb"));
    EXPECT_EQ(Get("*"), Information("boiler.xmb"));
    Map(0, DataItem::MakeBit(true));
    EXPECT_EQ(Get("/"), R"([{"name":0,"value":"1"}])");
    EXPECT_EQ(Get("/subscribe/"), R"([{"name":0,"value":"1"}])");
}

TEST_F(WebInterfaceTest, InformationShowsAFileNameWithoutFolderAndTheLink) {
    EXPECT_EQ(Get("/"), Information("")) << "a new document has no file";
    doc.SetPath(L"C:\\Users\\x\\Documents\\line 2.xmb");
    doc.Settings().connected = 1;
    EXPECT_EQ(Get("/"), Information("line 2.xmb", true));
}

TEST_F(WebInterfaceTest, AnswersAreStandardJsonInUtf8WithValuesInFull) {
    Map(1, DataItem::MakeString("say \"hi\" \\ \x01\tcaf\xe9"));
    Map(2, DataItem::MakeFloat(1e-05f));
    Map(3, DataItem::MakeDouble(-1234567.8901234));
    EXPECT_EQ(Get("/1"), "[{\"name\":1,\"value\":\"say \\\"hi\\\" \\\\ \\u0001\\tcaf\xc3\xa9\"}]")
        << "quote, backslash and control characters escaped; Latin-1 e-acute as UTF-8";
    EXPECT_EQ(Get("/2"), R"([{"name":2,"value":"9.99999974737875e-06"}])")
        << "not cut to 15 characters";
    EXPECT_EQ(Get("/3"), R"([{"name":3,"value":"-1234567.8901234"}])");
}

}  // namespace
