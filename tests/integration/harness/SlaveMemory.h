#pragma once

#include <cstdint>
#include <vector>

// The contents every slave of the peer tests serves, so that what a reply
// decodes to can be compared with what the slave holds. Register words are
// spelled out, each with the value it carries, rather than computed by the
// encoder under test.
struct SlaveMemory {
    std::vector<uint8_t> coils;
    std::vector<uint8_t> discrete;
    std::vector<uint16_t> holding;
    std::vector<uint16_t> input;
};

// Not 1, so a reply that carried a default address would be noticed.
constexpr uint8_t kSlaveAddress = 17;

// Coils 0-2099 carry a pattern that reads from a 2000-coil block; 2100-2199 are
// written by the tests. Holding registers 250-299 are written by the tests.
constexpr uint16_t kCoilWriteArea = 2100;
constexpr uint16_t kHoldingWriteArea = 250;

inline SlaveMemory MakeSlaveMemory() {
    SlaveMemory m;
    m.coils.resize(2200);
    for (size_t i = 0; i < 2100; ++i) m.coils[i] = ((i * 37) / 5 + i / 7) % 3 == 0;
    // The write area alternates, so writing either state changes some coil.
    for (size_t i = kCoilWriteArea; i < m.coils.size(); ++i) m.coils[i] = i % 2;
    m.discrete.resize(100);
    for (size_t i = 0; i < m.discrete.size(); ++i) m.discrete[i] = (i % 3 == 1) || (i % 11 == 0);

    m.holding.assign(300, 0);
    auto put = [](std::vector<uint16_t>& to, size_t at, std::initializer_list<uint16_t> words) {
        for (const uint16_t w : words) to[at++] = w;
    };
    // SHORT UINT at 0: 0, 1, 4660, 65535.
    put(m.holding, 0, {0x0000, 0x0001, 0x1234, 0xFFFF});
    // LONG UINT at 10 (high word first): 305419896, 4294967295, 70000.
    put(m.holding, 10, {0x1234, 0x5678, 0xFFFF, 0xFFFF, 0x0001, 0x1170});
    // ROSEMOUNT FLOAT at 20 (low word first): 3.14159274 (40490FDB), -2.5 (C0200000).
    put(m.holding, 20, {0x0FDB, 0x4049, 0x0000, 0xC020});
    // PHILIPS FLOAT at 30 (high word first): 3.14159274, 0.001 (3A83126F).
    put(m.holding, 30, {0x4049, 0x0FDB, 0x3A83, 0x126F});
    // PHILIPS DOUBLE at 40: pi (400921FB54442D18), 1e300 (7E37E43C8800759C).
    put(m.holding, 40, {0x4009, 0x21FB, 0x5444, 0x2D18, 0x7E37, 0xE43C, 0x8800, 0x759C});
    // 125 registers at 100 (the most one read may ask for): 1000 + 3i.
    for (uint16_t i = 0; i < 125; ++i) m.holding[100 + i] = static_cast<uint16_t>(1000 + 3 * i);
    for (size_t i = kHoldingWriteArea; i < m.holding.size(); ++i) m.holding[i] = 0xAAAA;

    m.input.assign(100, 0);
    // SHORT UINT at 0: 7, 8, 9, 40000, 65534.
    put(m.input, 0, {7, 8, 9, 40000, 65534});
    // LONG UINT at 10: 1, 2147483648.
    put(m.input, 10, {0x0000, 0x0001, 0x8000, 0x0000});
    return m;
}
