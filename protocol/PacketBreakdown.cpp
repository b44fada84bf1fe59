#include "protocol/PacketBreakdown.h"

#include <algorithm>
#include <span>

#include "protocol/FormatPreset.h"
#include "protocol/FunctionTable.h"
#include "protocol/ModbusPacket.h"
#include "protocol/ProtocolTable.h"
#include "protocol/ValueEncoding.h"

namespace {

namespace FC = FunctionCode;
namespace E = ValueEncoding;

// The list view's field buffer holds 1023 characters and its zero.
constexpr size_t kMaxHexChars = 1023;

std::wstring Hex(std::span<const uint8_t> bytes) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring text;
    for (uint8_t b : bytes) {
        if (text.size() + 3 > kMaxHexChars) break;
        text += digits[b >> 4];
        text += digits[b & 0x0F];
        text += L' ';
    }
    return text;
}

// Eight coils or inputs, the most significant bit first: the byte 0x01 shows
// 00000001, so the first coil of the byte is the last character.
std::wstring BitsText(uint8_t b) {
    std::wstring text(8, L'0');
    for (int bit = 0; bit < 8; ++bit) {
        if ((b >> bit) & 1) text[7 - static_cast<size_t>(bit)] = L'1';
    }
    return text;
}

class Breakdown {
  public:
    Breakdown(const ModbusPacket& packet, uint8_t slaveAddress, const BreakdownTexts& texts)
        : packet_(packet),
          bytes_(packet.bytes),
          slaveAddress_(slaveAddress),
          texts_(texts),
          encoding_(packet.encoding) {}

    std::vector<BreakdownRow> Rows() {
        if (!Fields()) Error(texts_.messageTruncated);
        return std::move(rows_);
    }

  private:
    // Each reader below returns false when its field needs more bytes than
    // remain; the rows then end with "Message truncated".
    bool Fields() {
        if (packet_.protocol == Protocol::Tcp) {
            if (!Number(texts_.messageId, 2) || !Number(texts_.protocolId, 2) ||
                !Number(texts_.messageLength, 2))
                return false;
        }
        uint8_t code = 0;
        if (!SlaveAddress() || !FunctionRow(code)) return false;
        if (FindFunction(code) == nullptr) {
            // Without its layout nothing after the code can be named.
            Error(texts_.unrecognisedFunction);
            return true;
        }
        if (!Pdu(code)) return false;
        if (packet_.protocol == Protocol::Rtu && !Crc()) return false;
        if (pos_ < bytes_.size()) Error(texts_.messageTooLong);
        return true;
    }

    bool Pdu(uint8_t code) {
        const bool request = packet_.isRequest != 0;
        const std::wstring& address = texts_.address;
        uint32_t n = 0;
        switch (code) {
            case FC::ReadCoils:
            case FC::ReadInputs:
                if (request) return Number(address, 2) && Number(texts_.regCount, 2);
                return Number(texts_.byteCount, 1, &n) && Bits(n);
            case FC::ReadInputRegisters:
            case FC::ReadOutputRegisters:
                if (request) return Number(address, 2) && Number(texts_.regCount, 2);
                return Number(texts_.byteCount, 1, &n) && RegisterReply(n);
            case FC::DanielReadFloats:
            case FC::DanielReadDoubles:
                if (request) return Number(address, 4) && Number(texts_.regCount, 1);
                // 32 bits: 255 doubles are 2040 bytes.
                return Number(texts_.itemCount, 1, &n) && RegisterReply(n * ItemBytes());
            case FC::WriteSingleCoil:
                return Number(address, 2) && Number(texts_.value, 2);
            case FC::WriteSingleRegister:
                return Number(address, 2) && Items(ItemBytes());
            case FC::ForceMultipleCoils:
                if (!Number(address, 2) || !Number(texts_.regCount, 2)) return false;
                return !request || (Number(texts_.byteCount, 1, &n) && Bits(n));
            case FC::ForceMultipleRegisters:
                if (!Number(address, 2) || !Number(texts_.regCount, 2)) return false;
                return !request || (Number(texts_.byteCount, 1, &n) && Items(n));
            case FC::DanielWriteFloats:
            case FC::DanielWriteDoubles:
                // No byte count: the items the count byte announces follow.
                if (request && !Number(address, 4)) return false;
                if (!Number(texts_.regCount, 1, &n)) return false;
                return !request || Items(n * ItemBytes());
            default:
                return true;
        }
    }

    bool Take(size_t width, std::span<const uint8_t>& field) {
        if (bytes_.size() - pos_ < width) return false;
        field = std::span<const uint8_t>(bytes_).subspan(pos_, width);
        pos_ += width;
        return true;
    }

    void Add(const std::wstring& field, std::span<const uint8_t> bytes, std::wstring value) {
        rows_.push_back(BreakdownRow{field, Hex(bytes), std::move(value), false});
    }

    void Error(const std::wstring& message) {
        rows_.push_back(BreakdownRow{std::wstring(), texts_.error, message, true});
    }

    // An unsigned field, most significant byte first, shown in decimal.
    bool Number(const std::wstring& field, size_t width, uint32_t* value = nullptr) {
        std::span<const uint8_t> bytes;
        if (!Take(width, bytes)) return false;
        uint32_t number = 0;
        for (uint8_t b : bytes) number = number << 8 | b;
        Add(field, bytes, std::to_wstring(number));
        if (value) *value = number;
        return true;
    }

    bool SlaveAddress() {
        std::span<const uint8_t> bytes;
        if (!Take(1, bytes)) return false;
        std::wstring value = std::to_wstring(bytes[0]);
        if (bytes[0] == slaveAddress_) value += L": " + texts_.ourAddress;
        Add(texts_.address, bytes, std::move(value));
        return true;
    }

    bool FunctionRow(uint8_t& code) {
        std::span<const uint8_t> bytes;
        if (!Take(1, bytes)) return false;
        code = bytes[0];
        const ModbusFunction* function = FindFunction(code);
        Add(texts_.function, bytes, function ? function->name : L"");
        return true;
    }

    // Shown as sent, low byte first, and not checked.
    bool Crc() {
        std::span<const uint8_t> bytes;
        if (!Take(2, bytes)) return false;
        Add(texts_.crc, bytes, std::to_wstring(bytes[0] | bytes[1] << 8));
        return true;
    }

    // Packed coils or inputs, one row per byte. A count of 0 reads nothing,
    // so a reply that announces no data is not cut short.
    bool Bits(uint32_t byteCount) {
        for (uint32_t i = 0; i < byteCount; ++i) {
            std::span<const uint8_t> bytes;
            if (!Take(1, bytes)) return false;
            Add(texts_.data, bytes, BitsText(bytes[0]));
        }
        return true;
    }

    // The width every item row takes; 2 (one register) when the encoding
    // names no layout, as for a packet without a preset.
    uint32_t ItemBytes() const { return ByteCountForEncoding(encoding_, 1); }

    std::wstring ItemValue(std::span<const uint8_t> bytes) const {
        if (encoding_ == E::Bit) return BitsText(bytes[0]);
        if (TypeForEncoding(encoding_) == DataItem::Unknown)
            return DecodeValue(E::UnsignedShortHighFirst, bytes).ToWString();
        return DecodeValue(encoding_, bytes).ToWString();
    }

    // The data items of n bytes. A last item that the byte count cuts short
    // shows only the bytes the count covers, so the fields after it (the
    // CRC) are read where they are.
    bool Items(uint32_t n) {
        const uint32_t width = ItemBytes();
        for (uint32_t consumed = 0; consumed < n; consumed += width) {
            const uint32_t part = std::min(width, n - consumed);
            std::span<const uint8_t> bytes;
            if (!Take(part, bytes)) return false;
            Add(texts_.data, bytes, part == width ? ItemValue(bytes) : std::wstring());
        }
        return true;
    }

    // The items of a read reply, then whether their bytes are what the poll
    // asked for. Without a preset nothing was asked for that could be
    // compared.
    bool RegisterReply(uint32_t n) {
        if (!Items(n)) return false;
        if (packet_.preset == nullptr) return true;
        const uint32_t expected = ByteCountFor(packet_.preset, packet_.count);
        if (n != expected) {
            Error(texts_.expected + L" " + std::to_wstring(expected) + L" " + texts_.bytes + L", " +
                  texts_.got + L" " + std::to_wstring(n));
        }
        return true;
    }

    const ModbusPacket& packet_;
    const std::vector<uint8_t>& bytes_;
    const uint8_t slaveAddress_;
    const BreakdownTexts& texts_;
    const uint8_t encoding_;
    size_t pos_ = 0;  // our own cursor: the packet's readPos is left alone
    std::vector<BreakdownRow> rows_;
};

}  // namespace

const BreakdownTexts& BreakdownTexts::English() {
    static const BreakdownTexts texts;
    return texts;
}

std::vector<BreakdownRow> BreakDownPacket(const ModbusPacket& packet, uint8_t slaveAddress,
                                          const BreakdownTexts& texts) {
    return Breakdown(packet, slaveAddress, texts).Rows();
}
