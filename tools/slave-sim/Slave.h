#pragma once

#include <cstdint>
#include <vector>

#include "tools/slave-sim/Bank.h"

namespace slavesim {

// Modbus Application Protocol V1.1b3, 7: exception codes a slave answers with.
enum ExceptionCode : uint8_t {
    kIllegalFunction = 0x01,
    kIllegalDataAddress = 0x02,
    kIllegalDataValue = 0x03,
};

// What the one byte after the function code of a float/double read reply
// (functions 65 and 67) carries: the number of data bytes that follow, or the
// number of items.
enum class ItemCountByte { Bytes, Items };

struct WrittenAddress {
    Table table;
    uint16_t address;
};

// The slave's application layer: one request PDU (function code and data, no
// framing) in, one reply PDU out, with the bank read and written in between.
class Slave {
  public:
    explicit Slave(Bank& bank, ItemCountByte itemCountByte = ItemCountByte::Items)
        : bank_(bank), itemCountByte_(itemCountByte) {}

    // Answers a request. Addresses changed by a write are appended to
    // `written` (in address order) so the caller can report them.
    std::vector<uint8_t> Handle(const std::vector<uint8_t>& pdu,
                                std::vector<WrittenAddress>* written);

    static std::vector<uint8_t> Exception(uint8_t function, uint8_t code);

  private:
    std::vector<uint8_t> ReadBits(const std::vector<uint8_t>& pdu, Table table);
    std::vector<uint8_t> ReadRegisters(const std::vector<uint8_t>& pdu, Table table);
    std::vector<uint8_t> WriteSingleCoil(const std::vector<uint8_t>& pdu,
                                         std::vector<WrittenAddress>* written);
    std::vector<uint8_t> WriteSingleRegister(const std::vector<uint8_t>& pdu,
                                             std::vector<WrittenAddress>* written);
    std::vector<uint8_t> WriteCoils(const std::vector<uint8_t>& pdu,
                                    std::vector<WrittenAddress>* written);
    std::vector<uint8_t> WriteRegisters(const std::vector<uint8_t>& pdu,
                                        std::vector<WrittenAddress>* written);
    std::vector<uint8_t> ReadReals(const std::vector<uint8_t>& pdu, Table table);
    std::vector<uint8_t> WriteReals(const std::vector<uint8_t>& pdu, Table table,
                                    std::vector<WrittenAddress>* written);

    Bank& bank_;
    ItemCountByte itemCountByte_;
};

}  // namespace slavesim
