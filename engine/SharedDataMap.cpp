#include "engine/SharedDataMap.h"

#include <utility>

namespace {

bool SameValue(const DataItem& stored, const DataItem& received) {
    if (stored.type != received.type) return false;
    if (received.type == DataItem::Bit) return stored.AsBit() == received.AsBit();
    return stored.Equals(received);
}

}  // namespace

bool SharedDataMap::UpdateItem(std::uint16_t address, const DataItem& item) {
    std::lock_guard<std::mutex> guard(lock);
    return map.UpdateItem(address, item);
}

void SharedDataMap::CommitReply(const PacketItems& items, std::vector<std::uint16_t>& changed) {
    std::lock_guard<std::mutex> guard(lock);
    for (const auto& [address, item] : items) {
        DataMapEntry* entry = map.Find(address);
        if (entry == nullptr || SameValue(entry->item, item)) continue;
        entry->item = item;
        changed.push_back(address);
    }
}

bool SharedDataMap::Insert(std::uint16_t address, const DataItem& item) {
    std::lock_guard<std::mutex> guard(lock);
    return map.Insert(address, item);
}

bool SharedDataMap::Erase(std::uint16_t address) {
    std::lock_guard<std::mutex> guard(lock);
    return map.Erase(address);
}

bool SharedDataMap::Contains(std::uint16_t address) const {
    std::lock_guard<std::mutex> guard(lock);
    return map.Contains(address);
}

std::optional<DataItem> SharedDataMap::Find(std::uint16_t address) const {
    std::lock_guard<std::mutex> guard(lock);
    const DataMapEntry* entry = map.Find(address);
    if (entry == nullptr) return std::nullopt;
    return entry->item;
}

bool SharedDataMap::SetLinked(std::uint16_t address, bool linked) {
    std::lock_guard<std::mutex> guard(lock);
    DataMapEntry* entry = map.Find(address);
    if (entry == nullptr) return false;
    entry->ddeLink = linked;
    return true;
}

DataMap SharedDataMap::Copy() const {
    std::lock_guard<std::mutex> guard(lock);
    return map;
}

void SharedDataMap::Assign(DataMap replacement) {
    {
        std::lock_guard<std::mutex> guard(lock);
        std::swap(map, replacement);
    }
    // The old entries are freed here, after the lock is released.
}

void SharedDataMap::Clear() { Assign(DataMap{}); }

std::size_t SharedDataMap::Size() const {
    std::lock_guard<std::mutex> guard(lock);
    return map.size();
}
