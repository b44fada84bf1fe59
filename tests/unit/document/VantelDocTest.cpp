#include <gtest/gtest.h>

#include <optional>

#include "TestFiles.h"
#include "document/VantelDoc.h"
#include "engine/NotificationQueue.h"

namespace {

class RecordingAdvisor : public DdeAdvisor {
  public:
    void PostAdvise(const std::wstring& item) override { items.push_back(item); }
    std::vector<std::wstring> items;
};

class RecordingRecentView : public RecentFileView {
  public:
    void ShowRecentFile(const std::wstring& path) override { shown.push_back(path); }
    std::vector<std::wstring> shown;
};

class VantelDocTest : public ::testing::Test {
  protected:
    VantelDocTest() { doc.Register(&windows, EventDocumentChanged); }

    // How many document-changed messages the windows got since the last call.
    int DocumentChanges() {
        int count = 0;
        while (std::optional<Notification> n = windows.Pop(0))
            count += n->event == EventDocumentChanged;
        return count;
    }
    std::string Polls() const {
        std::string codes;
        for (const Poll& poll : doc.Settings().polls)
            codes += std::to_string(poll.FunctionCode()) + " ";
        return codes;
    }

    NotificationQueue windows;
    VantelDoc doc;
    TempFolder folder;
};

TEST_F(VantelDocTest, AddAddressesStepsToTheLastWithoutWrappingAndKeepsMappedEntries) {
    EXPECT_TRUE(doc.AddAddresses(10, 20, 5, DataItem::UnsignedShort));
    doc.SetModified(false);
    doc.Settings().datamap.UpdateItem(15, DataItem::MakeUnsignedShort(9));
    EXPECT_FALSE(doc.AddAddresses(10, 20, 5, DataItem::Float));
    EXPECT_FALSE(doc.IsModified()) << "nothing was added";
    EXPECT_EQ(doc.Settings().datamap.Find(15)->AsUnsignedShort(), 9) << "existing entries stay";
    EXPECT_TRUE(doc.AddAddresses(65530, 65535, 4, DataItem::Bit));
    EXPECT_TRUE(doc.IsModified());
    EXPECT_FALSE(doc.AddAddresses(5, 4, 1, DataItem::Bit));
    EXPECT_FALSE(doc.AddAddresses(1, 4, 0, DataItem::Bit));
    EXPECT_FALSE(doc.AddAddresses(1, 4, 1, DataItem::Unknown));
    EXPECT_TRUE(doc.AddAddresses(65535, 65535, 65535, DataItem::Byte));
    EXPECT_EQ(Describe(doc.CurrentSetup()).substr(Describe(doc.CurrentSetup()).find("map")),
              "map 10=2:0: 15=2:9: 20=2:0: 65530=1:0: 65534=1:0: 65535=7:0:");
}

TEST_F(VantelDocTest, ResetKeepsTheSerialLineAndFlagTheWebPortAndTheCounters) {
    doc.SerialLine().baud = 19200;
    doc.SetSerial(true);
    doc.SetWebPort(9000);
    doc.Settings().transactionCounter = 77;
    doc.EthernetMaster().host = "plc";
    doc.AddPoll(3, 0, 1, 1);
    doc.AddAddresses(1, 1, 1, DataItem::Bit);
    doc.Reset();
    ProjectSetup expected;
    expected.line.baud = 19200;
    expected.serial = true;
    expected.webport = 9000;
    EXPECT_EQ(Describe(doc.CurrentSetup()), Describe(expected));
    EXPECT_EQ(doc.Settings().transactionCounter, 77);
}

TEST_F(VantelDocTest, PollCommandsMarkTheDocumentModifiedExceptAnEditAndAMoveAtAnEnd) {
    for (uint8_t code : {1, 2, 3, 6}) EXPECT_TRUE(doc.AddPoll(code, 0, 10, code <= 2 ? 0 : 1));
    EXPECT_FALSE(doc.AddPoll(9, 0, 1, 1)) << "no poll without a function";
    EXPECT_EQ(doc.Settings().polls[3].size, 1) << "function 6 carries no count";
    EXPECT_EQ(DocumentChanges(), 4);
    doc.SetModified(false);
    EXPECT_TRUE(doc.EditPoll(3, 4, 7, 2, 7));
    EXPECT_EQ(DocumentChanges(), 1);
    EXPECT_FALSE(doc.MovePollUp(0));
    EXPECT_FALSE(doc.MovePollDown(3));
    EXPECT_FALSE(doc.IsModified());
    EXPECT_TRUE(doc.MovePollUp(2));
    EXPECT_TRUE(doc.MovePollDown(0));
    EXPECT_EQ(Polls(), "3 1 2 4 ");
    EXPECT_TRUE(doc.IsModified());
    EXPECT_TRUE(doc.DeletePolls({3, 0, 9}));
    EXPECT_EQ(Polls(), "1 2 ");
    EXPECT_FALSE(doc.DeletePolls({}));
}

TEST_F(VantelDocTest, AValueChangeAdvisesLinkedDdeItemsAndQueuesSubscribedAddresses) {
    RecordingAdvisor advisor;
    doc.SetDdeAdvisor(&advisor);
    doc.AddAddresses(42, 43, 1, DataItem::UnsignedShort);
    EXPECT_TRUE(doc.SetDdeLink(42, true));
    EXPECT_FALSE(doc.SetDdeLink(7, true)) << "only a mapped address can be linked";
    {
        std::lock_guard<CriticalSection> hold(doc.WebLock());
        doc.Subscriptions() = {43, 7};
    }
    for (uint16_t address : {42, 43, 7, 43}) doc.OnValueChanged(address);
    EXPECT_EQ(advisor.items, std::vector<std::wstring>{L"00042"});
    EXPECT_EQ(doc.Updates(), (std::vector<uint16_t>{43, 7, 43}))
        << "an unmapped subscribed address is queued, repeats are kept";
    EXPECT_TRUE(doc.SetDdeLink(42, false));
    doc.OnValueChanged(42);
    EXPECT_EQ(advisor.items.size(), 1u);
}

TEST_F(VantelDocTest, SaveAndOpenTakeThePathOnlyWhenTheWholeFileWasWrittenOrRead) {
    RecordingRecentView recent;
    doc.SetRecentFileView(&recent);
    doc.AddPoll(3, 0, 4, 1);
    doc.SetWebPort(9100);
    EXPECT_FALSE(doc.Save(folder.File(L"missing/a.xmb")));
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.Path(), L"");
    const std::wstring good = folder.File(L"good.xmb");
    ASSERT_TRUE(doc.Save(good));
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(recent.shown, (std::vector<std::wstring>{L"", good}));

    doc.AddPoll(4, 0, 4, 1);
    doc.AddAddresses(40, 40, 1, DataItem::Float);
    doc.SetDdeLink(40, true);
    const ProjectSetup before = doc.CurrentSetup();
    const std::wstring bad = folder.File(L"bad.xmb");
    PutBytes(bad, Utf16Le(u"{\"webport\":1,\"polls\":[{\"function\":3}]}"));
    DocumentChanges();
    ProjectLoadResult result;
    EXPECT_FALSE(doc.Open(bad, result));
    EXPECT_EQ(result.error, L"Poll 1 needs an integer function, start and size");
    EXPECT_EQ(Describe(doc.CurrentSetup()), Describe(before));
    EXPECT_EQ(doc.Path(), good) << "a later Save must not overwrite the good file with less";
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(DocumentChanges(), 0);

    ASSERT_TRUE(doc.Open(good, result)) << Text(result.error);
    EXPECT_EQ(Polls(), "3 ");
    EXPECT_EQ(doc.WebPort(), 9100);
    EXPECT_FALSE(doc.IsDdeLinked(40)) << "links belong to the entries the file replaced";
    EXPECT_EQ(doc.RecentFile(), good);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(DocumentChanges(), 1);
}

TEST_F(VantelDocTest, ThePollListAndOpenAreLeftAloneWhileAMasterPolls) {
    doc.AddPoll(3, 0, 1, 1);
    const std::wstring path = folder.File(L"p.xmb");
    ASSERT_TRUE(doc.Save(path));
    // Nothing listens on port 1, so the master keeps trying until stopped.
    doc.EthernetMaster().host = "127.0.0.1";
    doc.EthernetMaster().port = 1;
    ASSERT_TRUE(doc.EthernetMaster().Start());
    ProjectLoadResult result;
    EXPECT_FALSE(doc.AddPoll(4, 0, 1, 1));
    EXPECT_FALSE(doc.EditPoll(0, 4, 0, 1, 1));
    EXPECT_FALSE(doc.DeletePolls({0}));
    EXPECT_FALSE(doc.Open(path, result));
    EXPECT_EQ(result.error, L"Stop polling before opening a project : " + path);
    doc.EthernetMaster().Stop(true);
    EXPECT_EQ(Polls(), "3 ");
    EXPECT_TRUE(doc.Open(path, result)) << Text(result.error);
}

}  // namespace
