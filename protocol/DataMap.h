#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "protocol/DataItem.h"
#include "protocol/PacketItems.h"

// One mapped address: its latest value and whether a DDE client is linked
// to it.
struct DataMapEntry {
    DataItem item;
    bool ddeLink = false;
};

// The addresses the user mapped, with their latest values, ordered by
// address. It has no lock of its own: the owner that shares it between
// threads holds its lock around each call (a whole reply is committed with
// one Commit call, so one lock covers it).
class DataMap {
  public:
    using Entries = std::map<uint16_t, DataMapEntry>;

    DataMap() = default;
    // A copy or a move starts without the order of the map it came from.
    DataMap(const DataMap& other) : entries_(other.entries_) {}
    DataMap(DataMap&& other) noexcept : entries_(std::move(other.entries_)) { other.Reshaped(); }
    DataMap& operator=(const DataMap& other);
    DataMap& operator=(DataMap&& other) noexcept;

    // Adds an entry; false (and nothing changes) when the address is mapped.
    bool Insert(uint16_t address, const DataItem& item);
    bool Erase(uint16_t address);
    void Clear() {
        entries_.clear();
        Reshaped();
    }

    const DataMapEntry* Find(uint16_t address) const;
    DataMapEntry* Find(uint16_t address);
    bool Contains(uint16_t address) const { return Find(address) != nullptr; }

    // The one rule by which a value is stored: only into an address already
    // mapped, and only when it differs from the stored value (DataItem::Equals;
    // another type always differs). True when the entry changed. The link
    // flag stays as it is.
    bool UpdateItem(uint16_t address, const DataItem& item);

    // Stores the values of an accepted reply by the rule of UpdateItem and
    // appends each address whose entry changed, in the order the reply was
    // decoded: from its first address up, then those that wrapped past 65535.
    // A bit equal to the stored bit is no change here.
    void Commit(const PacketItems& items, uint16_t firstAddress, std::vector<uint16_t>& changed);

    const Entries& entries() const { return entries_; }
    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }

  private:
    void Reshaped() {
        order_.clear();
        ordered_ = false;
    }

    Entries entries_;
    // The entries in address order as an array, for Commit: stepping through
    // a tree is a chain of dependent loads per entry, which costs more than
    // decoding a 2000-coil reply; an array is walked without that chain.
    // Made again by the first Commit after an entry came or went.
    std::vector<Entries::iterator> order_;
    bool ordered_ = false;
};
