#include "protocol/DataMap.h"

#include <algorithm>

DataMap& DataMap::operator=(const DataMap& other) {
    if (this != &other) {
        entries_ = other.entries_;
        Reshaped();
    }
    return *this;
}

DataMap& DataMap::operator=(DataMap&& other) noexcept {
    if (this != &other) {
        entries_ = std::move(other.entries_);
        Reshaped();
        other.Reshaped();
    }
    return *this;
}

bool DataMap::Insert(uint16_t address, const DataItem& item) {
    const bool inserted = entries_.emplace(address, DataMapEntry{item, false}).second;
    if (inserted) Reshaped();
    return inserted;
}

bool DataMap::Erase(uint16_t address) {
    const bool erased = entries_.erase(address) != 0;
    if (erased) Reshaped();
    return erased;
}

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

namespace {

// A whole reply reports only values that really changed, polled bits
// included: every poll would otherwise announce every coil to the address map
// and to web subscribers although nothing moved.
bool SameValue(const DataItem& stored, const DataItem& received) {
    if (received.type == DataItem::Bit)
        return stored.type == DataItem::Bit && stored.AsBit() == received.AsBit();
    return stored.Equals(received);
}

}  // namespace

// Both the values and the entries are in address order, so one walk through
// each finds every match: a lookup per value would cost more than the decoding
// on a large reply.
void DataMap::Commit(const PacketItems& items, uint16_t firstAddress,
                     std::vector<uint16_t>& changed) {
    if (!ordered_) {
        order_.clear();
        order_.reserve(entries_.size());
        for (auto entry = entries_.begin(); entry != entries_.end(); ++entry)
            order_.push_back(entry);
        ordered_ = true;
    }
    auto commitRange = [&](PacketItems::const_iterator from, PacketItems::const_iterator to) {
        if (from == to) return;
        auto entry = std::lower_bound(
            order_.begin(), order_.end(), from->first,
            [](Entries::iterator e, uint16_t address) { return e->first < address; });
        for (auto value = from; value != to && entry != order_.end(); ++value) {
            while (entry != order_.end() && (*entry)->first < value->first) ++entry;
            if (entry == order_.end() || (*entry)->first != value->first) continue;
            DataItem& stored = (*entry)->second.item;
            if (SameValue(stored, value->second)) continue;
            stored = value->second;
            changed.push_back(value->first);
        }
    };
    auto wrapped = std::lower_bound(
        items.begin(), items.end(), firstAddress,
        [](const PacketItems::Entry& entry, uint16_t address) { return entry.first < address; });
    commitRange(wrapped, items.end());
    commitRange(items.begin(), wrapped);
}
