#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

#include "protocol/DataItem.h"

// The values a packet carries, one per data address, in ascending address
// order: for a write request the values to send, for a reply the decoded
// values. Kept flat, in one block, because a reply is decoded, committed and
// handed to another thread for every poll: a node per address would cost an
// allocation per value on the worker and a free per value on the receiver.
//
// Values nearly always arrive in ascending address order, so setting one is
// an append; only item addresses that wrap past 65535 land in the middle.
class PacketItems {
  public:
    using Entry = std::pair<std::uint16_t, DataItem>;
    using const_iterator = std::vector<Entry>::const_iterator;

    PacketItems() = default;
    // Each entry stored as Set stores it.
    PacketItems(std::initializer_list<Entry> entries);

    // Stores the value at the address; a later value for an address replaces
    // the earlier one.
    void Set(std::uint16_t address, DataItem item) {
        if (entries_.empty() || entries_.back().first < address) {
            entries_.emplace_back(address, std::move(item));
        } else {
            SetWithin(address, std::move(item));
        }
    }
    // Sets count values at consecutive addresses from first, the i-th being
    // value(i). A reply's bits arrive so, and appending them without an order
    // check each keeps a 2000-coil reply cheap; addresses that wrap past
    // 65535 are set one by one.
    template <typename Value>
    void SetRun(std::uint16_t first, std::size_t count, Value&& value) {
        std::size_t i = 0;
        if (entries_.empty() || entries_.back().first < first) {
            const std::size_t straight = std::min<std::size_t>(count, 0x10000u - first);
            entries_.reserve(entries_.size() + count);
            for (; i < straight; ++i)
                entries_.emplace_back(static_cast<std::uint16_t>(first + i), value(i));
        }
        for (; i < count; ++i) Set(static_cast<std::uint16_t>(first + i), value(i));
    }
    // Null when the packet carries no value for the address.
    const DataItem* Find(std::uint16_t address) const;

    void Reserve(std::size_t count) { entries_.reserve(count); }
    void Clear() { entries_.clear(); }
    std::size_t Size() const { return entries_.size(); }
    bool Empty() const { return entries_.empty(); }
    // The entry at a position of the address order.
    const Entry& At(std::size_t index) const { return entries_.at(index); }

    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }

  private:
    void SetWithin(std::uint16_t address, DataItem item);

    std::vector<Entry> entries_;
};
