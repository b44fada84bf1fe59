#include "engine/SharedDataMap.h"

#include <utility>

bool SharedDataMap::UpdateItem(std::uint16_t address, const DataItem& item) {
    std::lock_guard<std::mutex> guard(lock);
    return map.UpdateItem(address, item);
}

void SharedDataMap::CommitReply(const PacketItems& items, std::uint16_t firstAddress,
                                std::vector<std::uint16_t>& changed) {
    std::lock_guard<std::mutex> guard(lock);
    map.Commit(items, firstAddress, changed);
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
