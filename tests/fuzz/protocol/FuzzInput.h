#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Takes the set-up of one fuzz case from the front of the input; what is left
// is the message. Reads past the end give zeros, so every input is usable.
class FuzzInput {
  public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint16_t Word() {
        const uint16_t high = Byte();
        return static_cast<uint16_t>(high << 8 | Byte());
    }
    std::span<const uint8_t> Rest() const {
        return pos_ < size_ ? std::span<const uint8_t>(data_ + pos_, size_ - pos_)
                            : std::span<const uint8_t>();
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};
