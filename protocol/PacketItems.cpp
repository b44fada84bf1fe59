#include "protocol/PacketItems.h"

#include <algorithm>

namespace {

bool AddressBelow(const PacketItems::Entry& entry, std::uint16_t address) {
    return entry.first < address;
}

}  // namespace

PacketItems::PacketItems(std::initializer_list<Entry> entries) {
    entries_.reserve(entries.size());
    for (const Entry& entry : entries) Set(entry.first, entry.second);
}

void PacketItems::SetWithin(std::uint16_t address, DataItem item) {
    auto at = std::lower_bound(entries_.begin(), entries_.end(), address, AddressBelow);
    if (at != entries_.end() && at->first == address) {
        at->second = std::move(item);
    } else {
        entries_.emplace(at, address, std::move(item));
    }
}

const DataItem* PacketItems::Find(std::uint16_t address) const {
    auto at = std::lower_bound(entries_.begin(), entries_.end(), address, AddressBelow);
    return at != entries_.end() && at->first == address ? &at->second : nullptr;
}
