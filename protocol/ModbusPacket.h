#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "protocol/AddressRange.h"
#include "protocol/BuildError.h"
#include "protocol/DataItem.h"
#include "protocol/DataMap.h"
#include "protocol/FormatPreset.h"
#include "protocol/FunctionTable.h"
#include "protocol/InstanceCount.h"
#include "protocol/PacketItems.h"
#include "protocol/PacketField.h"
#include "protocol/ParseResult.h"
#include "protocol/Poll.h"

// One Modbus request or reply: the bytes as sent or received, the decoded
// header fields, the values by address, and the state of the byte parser.
// A worker fills it; afterwards the user interface owns it for display.
class ModbusPacket {
  public:
    // The largest frame the byte parser keeps; later bytes of a runaway
    // stream are reported but not stored. The longest legal reply, 255
    // doubles of function 67 in an RTU frame, is 2045 bytes.
    static constexpr size_t kMaxFrameBytes = 4096;

    ModbusPacket(uint8_t protocol, uint8_t isRequest);

    // ---- Set-up
    // Copies a poll's start, count, step, item type, encoding and preset.
    // Functions without a count field (5, 6) get count 1 and step 1.
    void SetFromPoll(const Poll& poll);

    // The data addresses a write request carries, in poll order (item 0
    // first, 16-bit arithmetic): 5 and 6 the one address start; 15 start + i;
    // 16, 66 and 68 start + i x step. Empty for functions that write nothing.
    std::vector<uint16_t> WriteAddresses() const;

    // ---- Requests
    // Why BuildRequest would refuse the packet as it stands (None if not).
    BuildError CheckRequest() const;
    // Appends the complete request with the protocol's framing. False when
    // refused; buildError then says why, and only what was appended before
    // the refusal was found (header, address, function code) is in bytes.
    bool BuildRequest(uint8_t protocol);

    // ---- Byte-by-byte replies (serial link)
    // Chooses the preset from ranges for the last address start + count - 1:
    // an empty list gives "SHORT UINT"; no range of this function holding it,
    // or a range marked -1, gives ParseAddressOutOfRange; a preset id not in
    // the table gives ParseInternalError (preset none); else ParseByteOk.
    ParseResult CheckRange();

    // Makes the packet ready for the first reply byte to a poll: function,
    // start, count (the poll's size), encoding, item type and step from the
    // poll, ranges as given, then CheckRange. When that succeeds the ranges
    // and accepted addresses are emptied. The parse state starts afresh in
    // both cases. Returns the CheckRange result.
    ParseResult PrepareReply(const Poll& poll, std::vector<AddressRange> pollRanges);

    // Clears bytes, items and the parse state; the next byte is the first.
    void ResetParser();

    // Takes the next received byte. Results are ParseResult codes; a
    // negative one means the reply cannot be continued. The first fault is
    // kept, and a frame with a fault stores no values.
    ParseResult ParseByte(uint8_t b);

    // Whether the frame taken by ParseByte may be applied: ParseByteOk when
    // it ended cleanly with a sound count and (RTU) a correct CRC; otherwise
    // the first fault, ParseExceptionReply, ParseTruncated or
    // ParseCrcMismatch. The serial master calls it before storing items.
    ParseResult CheckFrame() const;

    // ---- Whole replies (TCP link)
    // Decodes the reply in bytes against the poll it answers into items,
    // storing nothing anywhere else. Accepted (ParseMessageDone) only when
    // everything checks: header, slave address, the poll's function (its
    // exception form gives ParseExceptionReply with exceptionCode set), byte
    // or item count, all bytes present, no bytes beyond a read reply, and the
    // RTU CRC. A reply that is not accepted keeps no items.
    ParseResult DecodeReply(uint8_t protocol, uint8_t expectedAddress, const Poll& poll);

    // DecodeReply, then, only when accepted, the items committed into the
    // data map (DataMap::Commit); changed receives the addresses whose entries
    // changed. Nothing is stored for a rejected reply.
    bool ParseReply(uint8_t protocol, uint8_t expectedAddress, const Poll& poll, DataMap& map,
                    std::vector<uint16_t>& changed);

    // ---- Message
    std::vector<uint8_t> bytes;
    size_t readPos = 0;
    uint8_t isRequest = 0;
    uint8_t protocol = 0;
    uint16_t transactionId = 0;
    uint16_t protocolId = 0;
    uint16_t length = 0;
    uint8_t address = 0;
    uint8_t function = 0;
    uint16_t start = 0;
    uint16_t count = 0;
    uint8_t byteCount = 0;
    uint16_t step = 0;
    DataItem::Type itemType = DataItem::Unknown;
    PacketItems items;
    uint8_t encoding = 0;
    std::vector<uint8_t> acceptedAddresses;  // empty accepts every address
    std::vector<AddressRange> ranges;

    // ---- Byte parser state
    int32_t fieldIndex = -1;  // into functionRow->replyFields, -1 for none
    PacketField state = PacketField::tcpid;
    const ModbusFunction* functionRow = nullptr;
    uint8_t byteIndex = 0;       // position inside a two-byte field
    uint16_t fieldValue = 0;     // the two-byte field so far
    uint32_t itemsExpected = 0;  // wide enough for 2000 coils in one reply
    uint32_t itemsDone = 0;
    uint8_t itemSize = 0;
    uint8_t itemFill = 0;
    uint8_t itemBuffer[8] = {};
    uint32_t dataRemaining = 0;       // data bytes still to come, by the reply's own count
    ParseResult fault = ParseByteOk;  // first fault of the frame

    const FormatPreset* preset = nullptr;

    // ---- Exception replies
    bool isException = false;
    uint8_t exceptionCode = 0;

    BuildError buildError = BuildError::None;

    // The packets that exist now, in the whole process.
    static long Live() { return InstanceCount<ModbusPacket>::Live(); }

  private:
    InstanceCount<ModbusPacket> instances_;
};
