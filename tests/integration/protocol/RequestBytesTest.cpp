// The requests BuildRequest makes are compared byte for byte with what
// libmodbus's client sends for the same request: over TCP to a loopback
// listener, and with RTU framing through a socat pty pair.
#include <gtest/gtest.h>
#include <modbus.h>

#include <memory>
#include <vector>

#include "LibmodbusCapture.h"
#include "MasterRequest.h"
#include "PtyPair.h"
#include "protocol/DataItem.h"
#include "protocol/FormatPreset.h"
#include "protocol/Poll.h"

namespace {

constexpr uint8_t kSlave = 17;

struct RequestCase {
    const char* name;
    uint8_t function;
    uint16_t start;
    uint16_t size;
    int32_t preset;
    std::vector<DataItem> values;  // what a write sends, in poll order
    ClientCall call;               // the same request through libmodbus
};

void PrintTo(const RequestCase& c, std::ostream* os) { *os << c.name; }

std::vector<uint8_t> Bits(std::initializer_list<int> bits) {
    return std::vector<uint8_t>(bits.begin(), bits.end());
}

// One request per line: what BuildRequest is given, then the libmodbus call.
// clang-format off
std::vector<RequestCase> Cases() {
    using D = DataItem;
    return {
        {"ReadCoils37From19", 1, 19, 37, PresetId::Bit, {},
         [](modbus_t* c) { uint8_t b[37]; return modbus_read_bits(c, 19, 37, b); }},
        {"Read2000CoilsFrom63000", 1, 63000, 2000, PresetId::Bit, {},
         [](modbus_t* c) { static uint8_t b[2000]; return modbus_read_bits(c, 63000, 2000, b); }},
        {"ReadInputs10From1000", 2, 1000, 10, PresetId::Bit, {},
         [](modbus_t* c) { uint8_t b[10]; return modbus_read_input_bits(c, 1000, 10, b); }},
        {"ReadShortUints2From16", 3, 0x0010, 2, PresetId::ShortUint, {},
         [](modbus_t* c) { uint16_t r[2]; return modbus_read_registers(c, 0x0010, 2, r); }},
        {"Read125ShortUintsFrom65400", 3, 65400, 125, PresetId::ShortUint, {},
         [](modbus_t* c) { uint16_t r[125]; return modbus_read_registers(c, 65400, 125, r); }},
        {"ReadLongUints10From100", 3, 100, 10, PresetId::LongUint, {},
         [](modbus_t* c) { uint16_t r[20]; return modbus_read_registers(c, 100, 20, r); }},
        {"ReadPhilipsDoubles10From7", 3, 7, 10, PresetId::PhilipsDouble, {},
         [](modbus_t* c) { uint16_t r[40]; return modbus_read_registers(c, 7, 40, r); }},
        {"ReadInputRosemountFloats5From300", 4, 300, 5, PresetId::RosemountFloat, {},
         [](modbus_t* c) { uint16_t r[10]; return modbus_read_input_registers(c, 300, 10, r); }},
        {"ReadInputShortUints1From0", 4, 0, 1, PresetId::ShortUint, {},
         [](modbus_t* c) { uint16_t r[1]; return modbus_read_input_registers(c, 0, 1, r); }},
        {"WriteCoilOn", 5, 172, 1, PresetId::Bit, {D::MakeBit(true)},
         [](modbus_t* c) { return modbus_write_bit(c, 172, 1); }},
        {"WriteCoilOff", 5, 65535, 1, PresetId::Bit, {D::MakeBit(false)},
         [](modbus_t* c) { return modbus_write_bit(c, 65535, 0); }},
        {"WriteRegister", 6, 1, 1, PresetId::ShortUint, {D::MakeUnsignedShort(1234)},
         [](modbus_t* c) { return modbus_write_register(c, 1, 1234); }},
        {"WriteRegisterAllOnes", 6, 40000, 1, PresetId::ShortUint, {D::MakeUnsignedShort(65535)},
         [](modbus_t* c) { return modbus_write_register(c, 40000, 65535); }},
        {"WriteCoils10FirstAndLastOn", 15, 19, 10, PresetId::Bit,
         {D::MakeBit(true), D::MakeBit(false), D::MakeBit(false), D::MakeBit(false),
          D::MakeBit(false), D::MakeBit(false), D::MakeBit(false), D::MakeBit(false),
          D::MakeBit(false), D::MakeBit(true)},
         [](modbus_t* c) {
             const auto b = Bits({1, 0, 0, 0, 0, 0, 0, 0, 0, 1});
             return modbus_write_bits(c, 19, 10, b.data());
         }},
        {"WriteCoils3", 15, 0, 3, PresetId::Bit,
         {D::MakeBit(false), D::MakeBit(true), D::MakeBit(true)},
         [](modbus_t* c) {
             const auto b = Bits({0, 1, 1});
             return modbus_write_bits(c, 0, 3, b.data());
         }},
        {"WriteShortUints3", 16, 0x0100, 3, PresetId::ShortUint,
         {D::MakeUnsignedShort(1), D::MakeUnsignedShort(0xABCD), D::MakeUnsignedShort(65535)},
         [](modbus_t* c) {
             const uint16_t r[] = {1, 0xABCD, 65535};
             return modbus_write_registers(c, 0x0100, 3, r);
         }},
        {"WriteLongUints3", 16, 500, 3, PresetId::LongUint,
         {D::MakeUnsignedInt(0x12345678), D::MakeUnsignedInt(0xFFFFFFFF), D::MakeUnsignedInt(70000)},
         [](modbus_t* c) {
             // High word first: 12345678, FFFFFFFF, 00011170.
             const uint16_t r[] = {0x1234, 0x5678, 0xFFFF, 0xFFFF, 0x0001, 0x1170};
             return modbus_write_registers(c, 500, 6, r);
         }},
        {"WriteRosemountFloats2", 16, 20, 2, PresetId::RosemountFloat,
         {D::MakeFloat(3.14159274f), D::MakeFloat(-2.5f)},
         [](modbus_t* c) {
             // Low word first: 40490FDB, C0200000.
             const uint16_t r[] = {0x0FDB, 0x4049, 0x0000, 0xC020};
             return modbus_write_registers(c, 20, 4, r);
         }},
        {"WritePhilipsFloats2", 16, 30, 2, PresetId::PhilipsFloat,
         {D::MakeFloat(3.14159274f), D::MakeFloat(0.001f)},
         [](modbus_t* c) {
             // High word first: 40490FDB, 3A83126F.
             const uint16_t r[] = {0x4049, 0x0FDB, 0x3A83, 0x126F};
             return modbus_write_registers(c, 30, 4, r);
         }},
        {"WritePhilipsDoubles2", 16, 40, 2, PresetId::PhilipsDouble,
         {D::MakeDouble(3.141592653589793), D::MakeDouble(1e300)},
         [](modbus_t* c) {
             // Most significant word first: 400921FB54442D18, 7E37E43C8800759C.
             const uint16_t r[] = {0x4009, 0x21FB, 0x5444, 0x2D18, 0x7E37, 0xE43C, 0x8800, 0x759C};
             return modbus_write_registers(c, 40, 8, r);
         }},
        {"Write123ShortUints", 16, 1000, 123, PresetId::ShortUint,
         [] {
             std::vector<DataItem> v;
             for (uint16_t i = 0; i < 123; ++i) v.push_back(D::MakeUnsignedShort(i * 500));
             return v;
         }(),
         [](modbus_t* c) {
             uint16_t r[123];
             for (uint16_t i = 0; i < 123; ++i) r[i] = static_cast<uint16_t>(i * 500);
             return modbus_write_registers(c, 1000, 123, r);
         }},
    };
}
// clang-format on

Bytes BuildOurs(const RequestCase& c, uint8_t protocol, uint16_t transactionId) {
    Poll poll;
    EXPECT_TRUE(MakePoll(c.function, c.start, c.size, c.preset, poll)) << c.name;
    Bytes request;
    std::string error;
    EXPECT_TRUE(BuildMasterRequest(protocol, transactionId, kSlave, poll, c.values, request, error))
        << c.name << ": " << error;
    return request;
}

class RequestBytes : public testing::TestWithParam<std::tuple<RequestCase, uint8_t>> {
  protected:
    static void SetUpTestSuite() {
        std::string error;
        pty_ = std::make_unique<PtyPair>();
        if (!pty_->Open(error)) {
            setUpError_ = error;
            return;
        }
        captureEnd_ = std::make_unique<ByteLink>(ByteLink::OpenPty(pty_->second(), error));
        if (!captureEnd_->valid()) setUpError_ = error;
    }
    static void TearDownTestSuite() {
        captureEnd_.reset();
        pty_.reset();
    }

    static std::unique_ptr<PtyPair> pty_;
    static std::unique_ptr<ByteLink> captureEnd_;
    static std::string setUpError_;
};

std::unique_ptr<PtyPair> RequestBytes::pty_;
std::unique_ptr<ByteLink> RequestBytes::captureEnd_;
std::string RequestBytes::setUpError_;

TEST_P(RequestBytes, EqualWhatTheLibmodbusClientSends) {
    const auto& [c, protocol] = GetParam();
    Bytes theirs;
    std::string error;
    if (protocol == 0) {
        ASSERT_TRUE(CaptureTcpRequest(c.call, kSlave, theirs, error)) << error;
        // libmodbus numbers its first request 1; ours carries the same number.
        ASSERT_GE(theirs.size(), 2u);
        ASSERT_EQ(theirs[0] << 8 | theirs[1], kLibmodbusFirstTransactionId) << ToHex(theirs);
    } else {
        ASSERT_TRUE(setUpError_.empty()) << setUpError_;
        ASSERT_TRUE(CaptureRtuRequest(c.call, pty_->first(), *captureEnd_, kSlave, theirs, error))
            << error;
    }
    const Bytes ours = BuildOurs(c, protocol, kLibmodbusFirstTransactionId);
    EXPECT_EQ(ToHex(ours), ToHex(theirs)) << c.name << (protocol == 0 ? " over TCP" : " on RTU");
}

INSTANTIATE_TEST_SUITE_P(ForEveryFunctionAndFraming, RequestBytes,
                         testing::Combine(testing::ValuesIn(Cases()),
                                          testing::Values(uint8_t{0}, uint8_t{1})),
                         [](const testing::TestParamInfo<RequestBytes::ParamType>& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) == 0 ? "_Tcp" : "_Rtu");
                         });

}  // namespace
