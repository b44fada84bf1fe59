#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "engine/SharedDataMap.h"
#include "protocol/Poll.h"

// The connection settings both masters share: how to frame requests, which
// polls to send, at what pace, and where decoded values go. The document owns
// it together with both masters. While a master runs the user interface
// changes none of it except values in the data map; the engine writes only
// connected, pollIndex, singlePollIndex, transactionCounter and data map values.
struct CommsSettings {
    // 1 while a master's link is up. Read by the status display and the web
    // interface while the worker writes it.
    std::atomic<std::int32_t> connected{0};
    // Framing of requests and replies on either link: 0 Modbus TCP (MBAP),
    // 1 Modbus RTU (CRC).
    std::uint8_t protocol = 0;
    std::vector<Poll> polls;
    // The poll to send next.
    std::uint32_t pollIndex = 0;
    // Put into every request and expected in every reply.
    std::uint8_t modbusaddress = 1;
    SharedDataMap datamap;
    // Milliseconds from a reply to the next request.
    std::uint32_t pollrate = 1000;
    // Milliseconds from a request to repeating or giving it up.
    std::uint32_t timeout = 1000;
    // Timeouts of one poll after which it is given up; 0 never gives up.
    std::uint32_t retries = 3;
    // -1: cyclic mode (all polls in turn); otherwise the one poll to send
    // (single mode). Every run leaves it at -1.
    std::atomic<std::int32_t> singlePollIndex{-1};
    // Incremented (wrapping) before every request and copied into it; runs on
    // across runs.
    std::uint16_t transactionCounter = 0;
};
