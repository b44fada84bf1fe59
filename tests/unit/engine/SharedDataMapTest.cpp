#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "engine/SharedDataMap.h"

namespace {

TEST(SharedDataMap, CommitReplyListsOnlyMappedAddressesWhoseValueOrTypeChanged) {
    SharedDataMap map;
    map.Insert(1, DataItem::MakeBit(true));
    map.Insert(2, DataItem::MakeBit(false));
    map.Insert(3, DataItem::MakeFloat(0.0f));
    map.Insert(4, DataItem::MakeUnsignedShort(7));
    std::vector<std::uint16_t> changed;
    map.CommitReply({{1, DataItem::MakeBit(true)},          // unchanged bit: not announced
                     {2, DataItem::MakeBit(true)},          // changed bit
                     {3, DataItem::MakeUnsignedShort(0)},   // same zero, other type: stored
                     {4, DataItem::MakeUnsignedShort(7)},   // unchanged
                     {5, DataItem::MakeUnsignedShort(9)}},  // unmapped: dropped
                    1, changed);
    EXPECT_EQ(changed, (std::vector<std::uint16_t>{2, 3}));
    EXPECT_EQ(map.Find(3)->type, DataItem::UnsignedShort);
    EXPECT_FALSE(map.Contains(5));
}

TEST(SharedDataMap, ReadersNeverSeeAHalfWrittenString) {
    SharedDataMap map;
    const std::string a(64, 'a');
    const std::string b(64, 'b');
    map.Insert(1, DataItem::MakeString(a));
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i) map.UpdateItem(1, DataItem::MakeString(i % 2 ? a : b));
        done = true;
    });
    int torn = 0;
    while (!done) {
        const std::string seen = map.Find(1)->Text();
        torn += seen != a && seen != b ? 1 : 0;
    }
    writer.join();
    EXPECT_EQ(torn, 0);
}

}  // namespace
