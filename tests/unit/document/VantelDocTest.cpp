#include <gtest/gtest.h>

#include <optional>

#include "ProjectSetupMatchers.h"
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
    int DocumentChangedCount() {
        int count = 0;
        while (std::optional<Notification> n = windows.Pop(0))
            count += n->event == EventDocumentChanged;
        return count;
    }
    std::vector<uint8_t> PollCodes() const {
        std::vector<uint8_t> codes;
        for (const Poll& poll : doc.Settings().polls) codes.push_back(poll.FunctionCode());
        return codes;
    }

    NotificationQueue windows;
    VantelDoc doc;
    TempFolder folder;
};

TEST_F(VantelDocTest, AddAddressesStepsFromFirstToLastAndKeepsMappedEntries) {
    EXPECT_TRUE(doc.AddAddresses(10, 20, 5, DataItem::UnsignedShort));
    EXPECT_EQ(doc.Settings().datamap.Size(), 3u);
    for (uint16_t address : {10, 15, 20})
        EXPECT_EQ(doc.Settings().datamap.Find(address)->type, DataItem::UnsignedShort) << address;
    EXPECT_TRUE(doc.IsModified());

    doc.SetModified(false);
    doc.Settings().datamap.UpdateItem(15, DataItem::MakeUnsignedShort(9));
    EXPECT_FALSE(doc.AddAddresses(10, 20, 5, DataItem::Float));
    EXPECT_FALSE(doc.IsModified()) << "nothing was added";
    EXPECT_EQ(doc.Settings().datamap.Find(15)->AsUnsignedShort(), 9) << "existing entries stay";
}

TEST_F(VantelDocTest, AddAddressesEndsAt65535AndRefusesEmptyRanges) {
    EXPECT_TRUE(doc.AddAddresses(65530, 65535, 4, DataItem::Bit));
    EXPECT_EQ(doc.Settings().datamap.Size(), 2u);
    EXPECT_TRUE(doc.Settings().datamap.Contains(65530));
    EXPECT_TRUE(doc.Settings().datamap.Contains(65534));
    EXPECT_FALSE(doc.Settings().datamap.Contains(2)) << "the walk never wraps";

    EXPECT_FALSE(doc.AddAddresses(5, 4, 1, DataItem::Bit));
    EXPECT_FALSE(doc.AddAddresses(1, 4, 0, DataItem::Bit));
    EXPECT_FALSE(doc.AddAddresses(1, 4, 1, DataItem::Unknown));
    EXPECT_TRUE(doc.AddAddresses(65535, 65535, 65535, DataItem::Byte));
    EXPECT_EQ(doc.Settings().datamap.Size(), 3u);
}

TEST_F(VantelDocTest, ResetKeepsTheSerialLineTheSerialFlagTheWebPortAndTheCounters) {
    doc.SerialLine().baud = 19200;
    doc.SetSerial(true);
    doc.SetWebPort(9000);
    doc.Settings().transactionCounter = 77;
    doc.EthernetMaster().host = "plc";
    doc.Settings().retries = 9;
    doc.AddPoll(3, 0, 1, 1);
    doc.AddAddresses(1, 1, 1, DataItem::Bit);

    doc.Reset();
    EXPECT_EQ(doc.SerialLine().baud, 19200u);
    EXPECT_TRUE(doc.IsSerial());
    EXPECT_EQ(doc.WebPort(), 9000);
    EXPECT_EQ(doc.Settings().transactionCounter, 77);
    EXPECT_EQ(doc.EthernetMaster().host, "localhost");
    EXPECT_EQ(doc.Settings().retries, 3u);
    EXPECT_TRUE(doc.Settings().polls.empty());
    EXPECT_EQ(doc.Settings().datamap.Size(), 0u);
}

TEST_F(VantelDocTest, PollCommandsMarkTheDocumentModifiedExceptAnEditAndLeaveTheEndsAlone) {
    for (uint8_t code : {1, 2, 3, 6}) EXPECT_TRUE(doc.AddPoll(code, 0, 10, code <= 2 ? 0 : 1));
    EXPECT_FALSE(doc.AddPoll(9, 0, 1, 1)) << "no poll without a function";
    EXPECT_EQ(doc.Settings().polls[3].size, 1) << "function 6 carries no count";
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(DocumentChangedCount(), 4);

    doc.SetModified(false);
    EXPECT_TRUE(doc.EditPoll(3, 4, 7, 2, 7));
    ExpectPoll(doc.Settings().polls[3], 4, 7, 2, 7);
    EXPECT_EQ(DocumentChangedCount(), 1);
    EXPECT_FALSE(doc.MovePollUp(0));
    EXPECT_FALSE(doc.MovePollDown(3));
    EXPECT_FALSE(doc.IsModified()) << "an edit in place and a move at an end change no mark";

    EXPECT_TRUE(doc.MovePollUp(2));
    EXPECT_TRUE(doc.MovePollDown(0));
    EXPECT_EQ(PollCodes(), (std::vector<uint8_t>{3, 1, 2, 4}));
    EXPECT_TRUE(doc.IsModified());
    EXPECT_TRUE(doc.DeletePolls({3, 0, 9}));
    EXPECT_EQ(PollCodes(), (std::vector<uint8_t>{1, 2}));
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
    doc.OnValueChanged(42);
    doc.OnValueChanged(43);
    doc.OnValueChanged(7);
    doc.OnValueChanged(43);
    EXPECT_EQ(advisor.items, std::vector<std::wstring>{L"00042"});
    EXPECT_EQ(doc.Updates(), (std::vector<uint16_t>{43, 7, 43}))
        << "an unmapped subscribed address is queued, repeats are kept";

    EXPECT_TRUE(doc.SetDdeLink(42, false));
    doc.OnValueChanged(42);
    EXPECT_EQ(advisor.items.size(), 1u);
}

TEST_F(VantelDocTest, SaveSetsThePathAndClearsTheMarkOnlyWhenTheFileIsWritten) {
    RecordingRecentView recent;
    doc.SetRecentFileView(&recent);
    doc.AddPoll(3, 0, 4, 1);
    EXPECT_FALSE(doc.Save(folder.File(L"missing/a.xmb")));
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.Path(), L"");

    const std::wstring path = folder.File(L"a.xmb");
    ASSERT_TRUE(doc.Save(path));
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.Path(), path);
    EXPECT_EQ(recent.shown, (std::vector<std::wstring>{L"", path}));
}

TEST_F(VantelDocTest, AFailedOpenLeavesTheDocumentAsItWas) {
    const std::wstring good = folder.File(L"good.xmb");
    doc.AddPoll(3, 0, 4, 1);
    doc.SetWebPort(9100);
    ASSERT_TRUE(doc.Save(good));
    doc.AddPoll(4, 0, 4, 1);
    const ProjectSetup before = doc.CurrentSetup();

    const std::wstring bad = folder.File(L"bad.xmb");
    PutBytes(bad, Utf16LeBytes(u"{\"webport\":1,\"polls\":[{\"function\":3}]}"));
    DocumentChangedCount();
    ProjectLoadResult result;
    EXPECT_FALSE(doc.Open(bad, result));
    EXPECT_EQ(result.error, L"Poll 1 needs an integer function, start and size");
    ExpectSameSetup(doc.CurrentSetup(), before);
    EXPECT_EQ(doc.Path(), good) << "a later Save must not overwrite the good file with less";
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(DocumentChangedCount(), 0);
}

TEST_F(VantelDocTest, OpenTakesTheWholeSetUpAndTellsTheWindows) {
    ProjectSetup saved;
    saved.host = "plc-3";
    saved.webport = 8123;
    saved.serial = true;
    saved.line.comport = 5;
    saved.polls.resize(1);
    MakePoll(16, 40, 2, 2, saved.polls[0]);
    saved.datamap.Insert(40, DataItem::MakeFloat(1.5f));
    const std::wstring path = folder.File(L"p.xmb");
    ASSERT_TRUE(SaveProject(path, saved));

    doc.AddAddresses(40, 40, 1, DataItem::Float);
    doc.SetDdeLink(40, true);
    ProjectLoadResult result;
    ASSERT_TRUE(doc.Open(path, result)) << Text(result.error);
    ExpectSameSetup(doc.CurrentSetup(), saved);
    EXPECT_FALSE(doc.IsDdeLinked(40)) << "links belong to the entries the file replaced";
    EXPECT_EQ(doc.Path(), path);
    EXPECT_EQ(doc.RecentFile(), path);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(DocumentChangedCount(), 1);
}

}  // namespace

namespace {

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

    EXPECT_EQ(doc.Settings().polls.size(), 1u);
    EXPECT_TRUE(doc.Open(path, result)) << Text(result.error);
}

}  // namespace
