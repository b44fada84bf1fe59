#include <gtest/gtest.h>

#include "protocol/DataMap.h"

TEST(DataMapUpdateItem, StoresOnlyIntoMappedAddressesAndReportsChanges) {
    DataMap map;
    map.Insert(7, DataItem::MakeUnsignedShort(5));
    EXPECT_FALSE(map.UpdateItem(7, DataItem::MakeUnsignedShort(5)));
    EXPECT_TRUE(map.UpdateItem(7, DataItem::MakeUnsignedShort(6)));
    EXPECT_EQ(map.Find(7)->item.AsUnsignedShort(), 6);
    EXPECT_FALSE(map.UpdateItem(8, DataItem::MakeUnsignedShort(6)));
    EXPECT_FALSE(map.Contains(8)) << "an unmapped address is never added";
}

TEST(DataMapUpdateItem, CountsATypeChangeAsAChangeEvenForAZeroValue) {
    DataMap map;
    map.Insert(1, DataItem::MakeFloat(12.5f));
    map.Insert(2, DataItem::MakeUnsignedInt(0));
    EXPECT_TRUE(map.UpdateItem(1, DataItem::MakeUnsignedShort(6)));
    EXPECT_EQ(map.Find(1)->item.type, DataItem::UnsignedShort);
    EXPECT_TRUE(map.UpdateItem(2, DataItem::MakeUnsignedShort(0)))
        << "a stale 32-bit value must not stay because the new 16-bit value is zero";
    EXPECT_EQ(map.Find(2)->item.type, DataItem::UnsignedShort);
}

TEST(DataMapUpdateItem, AlwaysStoresBitsAndKeepsTheLinkFlag) {
    DataMap map;
    map.Insert(3, DataItem::MakeBit(true));
    map.Find(3)->ddeLink = true;
    EXPECT_TRUE(map.UpdateItem(3, DataItem::MakeBit(true)));
    EXPECT_TRUE(map.Find(3)->ddeLink);
}

TEST(DataMapCommit, ListsChangedAddressesInDecodingOrder) {
    DataMap map;
    for (uint16_t a : {10, 11, 12}) map.Insert(a, DataItem::MakeUnsignedShort(1));
    std::vector<uint16_t> changed;
    map.Commit({{12, DataItem::MakeUnsignedShort(2)},
                {11, DataItem::MakeUnsignedShort(1)},
                {99, DataItem::MakeUnsignedShort(2)},
                {10, DataItem::MakeUnsignedShort(3)}},
               changed);
    EXPECT_EQ(changed, (std::vector<uint16_t>{12, 10}));
    EXPECT_FALSE(map.Insert(10, DataItem())) << "Insert leaves an existing entry alone";
    EXPECT_EQ(map.Find(10)->item.AsUnsignedShort(), 3);
}
