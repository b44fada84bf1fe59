#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// One typed value of the slave's data: the value at one address of the data
// map, or one value carried in a packet. A plain value, copied everywhere.
//
// The numeric value lives in one 8-byte slot holding the bit pattern of the
// current type (flag, byte, 16-bit, 32-bit, float or double) in its low bits.
// The accessors read it as one type and give zero when the item holds
// another, which is how a stored value of another type counts in comparisons.
// The text of a String item lives apart, so the numbers a reply carries by
// the thousand stay small and cheap to make, copy and free.
class DataItem {
  public:
    enum Type : int32_t {
        Unknown = 0,
        Bit = 1,
        UnsignedShort = 2,
        UnsignedInt = 3,
        Float = 4,
        Double = 5,
        String = 6,
        Byte = 7,
    };

    DataItem() = default;
    // An item of the given type holding zero (or the empty text).
    explicit DataItem(Type type) : type(type) {}
    DataItem(const DataItem& other);
    DataItem& operator=(const DataItem& other);
    DataItem(DataItem&&) noexcept = default;
    DataItem& operator=(DataItem&&) noexcept = default;
    ~DataItem() = default;

    static DataItem MakeBit(bool on) { return DataItem(Bit, on ? 1 : 0); }
    static DataItem MakeUnsignedShort(uint16_t value) { return DataItem(UnsignedShort, value); }
    static DataItem MakeUnsignedInt(uint32_t value) { return DataItem(UnsignedInt, value); }
    static DataItem MakeFloat(float value);
    static DataItem MakeDouble(double value);
    static DataItem MakeString(std::string text);
    static DataItem MakeByte(uint8_t value) { return DataItem(Byte, value); }

    bool AsBit() const { return type == Bit && (value_ & 0xFF) != 0; }
    uint16_t AsUnsignedShort() const;
    uint32_t AsUnsignedInt() const;
    float AsFloat() const;
    double AsDouble() const;
    uint8_t AsByte() const;
    // The whole 8-byte slot, for callers that copy values without looking.
    uint64_t RawValue() const { return value_; }
    // The 8-bit text of a String item; empty for any other item.
    const std::string& Text() const;

    // Parses text by the current type and stores it; false leaves the item
    // unchanged. Numbers are decimal; leading white space and a sign are
    // accepted as the C library's wcstoul/wcstof/wcstod accept them, and an
    // empty text is 0. Unsigned values are read as a 32-bit wcstoul reads
    // them on every platform. A String takes any text, stored whole.
    bool SetFromText(const std::wstring& text);

    // Writes the value as text into buffer (capacity in characters, the zero
    // included), cut to fit; returns the number of characters written.
    size_t FormatText(wchar_t* buffer, size_t capacity) const;
    // The same text, unbounded.
    std::wstring FormatText() const;

    // The value as the value entry dialog shows it ("%f" for floats).
    std::wstring ToWString() const;

    // True when both have the same type, one of UnsignedShort, UnsignedInt,
    // Float, Double, String or Byte, and the same value (floats numerically,
    // so NaN never equals; texts byte by byte). A Bit or Unknown item never
    // equals anything, so a polled bit always counts as changed.
    bool Equals(const DataItem& other) const;

    // The display text of a type ("Unsigned Short"); empty for Byte and for
    // values outside the enumeration.
    static const wchar_t* TypeName(Type type);

    Type type = Unknown;

  private:
    DataItem(Type type, uint64_t raw) : type(type), value_(raw) {}

    alignas(8) uint64_t value_ = 0;
    // Null for the empty text.
    std::unique_ptr<std::string> text_;
};
