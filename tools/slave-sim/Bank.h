#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace slavesim {

// The six tables a slave holds, each with 65536 addresses. The float and
// double tables keep one whole value per address, as the read/write float and
// double functions (65 to 68) address them.
enum class Table { Coil, DiscreteInput, HoldingRegister, InputRegister, Float, Double };

constexpr int kTableCount = 6;

// Short names used on the command line, in write lines and in the dump.
const char* TableName(Table table);
std::optional<Table> TableFromName(const std::string& name);
bool IsBitTable(Table table);
bool IsRegisterTable(Table table);

class Bank {
  public:
    Bank();

    bool Bit(Table table, uint16_t address) const;
    void SetBit(Table table, uint16_t address, bool on);
    uint16_t Register(Table table, uint16_t address) const;
    void SetRegister(Table table, uint16_t address, uint16_t value);
    float Float(uint16_t address) const { return floats_[address]; }
    void SetFloat(uint16_t address, float value) { floats_[address] = value; }
    double Double(uint16_t address) const { return doubles_[address]; }
    void SetDouble(uint16_t address, double value) { doubles_[address] = value; }

    // The value at one address as text: 0/1, decimal, or a float with enough
    // digits to read back the same bits.
    std::string ValueText(Table table, uint16_t address) const;
    bool IsZero(Table table, uint16_t address) const;

    // Every address that holds something other than zero, as one JSON object
    // with a member per table: {"coil":{"5":1},"hr":{"100":1234},...}.
    std::string ToJson() const;

  private:
    std::vector<uint8_t> coils_;
    std::vector<uint8_t> inputs_;
    std::vector<uint16_t> holding_;
    std::vector<uint16_t> inputRegisters_;
    std::vector<float> floats_;
    std::vector<double> doubles_;
};

}  // namespace slavesim
