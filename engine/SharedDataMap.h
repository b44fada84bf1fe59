#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "protocol/DataMap.h"

// The data map as the threads share it. The worker writes values while the
// user interface, the DDE server and the web interface read and write them,
// so every access holds the one lock, and only for that one lookup,
// insertion, update, commit or copy: nothing is called out of it, so no
// thread waits on another (least of all on the user interface) while holding
// it. Callers get copies, never references into the map.
class SharedDataMap {
  public:
    SharedDataMap() = default;
    SharedDataMap(const SharedDataMap&) = delete;
    SharedDataMap& operator=(const SharedDataMap&) = delete;

    // The one rule by which a value is stored and reported as changed (see
    // DataMap::UpdateItem): a bit or an unknown item is always stored and
    // reported.
    bool UpdateItem(std::uint16_t address, const DataItem& item);

    // Stores the values of one accepted reply under one lock, so readers see
    // the reply whole or not at all, and appends each mapped address whose
    // entry changed (see DataMap::Commit): another type, or another value
    // (bits by their state, so an unchanged bit is not announced on every
    // poll).
    void CommitReply(const PacketItems& items, std::uint16_t firstAddress,
                     std::vector<std::uint16_t>& changed);

    bool Insert(std::uint16_t address, const DataItem& item);
    bool Erase(std::uint16_t address);
    bool Contains(std::uint16_t address) const;
    std::optional<DataItem> Find(std::uint16_t address) const;
    // Sets the DDE link flag; false when the address is not mapped.
    bool SetLinked(std::uint16_t address, bool linked);

    DataMap Copy() const;
    void Assign(DataMap replacement);
    void Clear();
    std::size_t Size() const;

  private:
    mutable std::mutex lock;
    DataMap map;
};
