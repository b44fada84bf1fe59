#include "protocol/DataMap.h"

bool DataMap::Insert(uint16_t address, const DataItem& item) {
    return entries_.emplace(address, DataMapEntry{item, false}).second;
}

bool DataMap::Erase(uint16_t address) { return entries_.erase(address) != 0; }

const DataMapEntry* DataMap::Find(uint16_t address) const {
    auto entry = entries_.find(address);
    return entry != entries_.end() ? &entry->second : nullptr;
}

DataMapEntry* DataMap::Find(uint16_t address) {
    auto entry = entries_.find(address);
    return entry != entries_.end() ? &entry->second : nullptr;
}

bool DataMap::UpdateItem(uint16_t address, const DataItem& item) {
    DataMapEntry* entry = Find(address);
    if (!entry || entry->item.Equals(item)) return false;
    entry->item = item;
    return true;
}

// A whole reply reports only values that really changed, polled bits
// included: every poll would otherwise announce every coil to the address map
// and to web subscribers although nothing moved.
void DataMap::Commit(const PacketItems& items, std::vector<uint16_t>& changed) {
    for (const auto& [address, item] : items) {
        const DataMapEntry* entry = Find(address);
        bool sameBit = entry && item.type == DataItem::Bit && entry->item.type == DataItem::Bit &&
                       entry->item.AsBit() == item.AsBit();
        if (!sameBit && UpdateItem(address, item)) changed.push_back(address);
    }
}
