#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "protocol/DataItem.h"
#include "protocol/ParseResult.h"

// Values of one reply in decoding order, by address. An address can repeat
// when item addresses wrap past 65535; the later value wins when committed.
using DecodedItems = std::vector<std::pair<uint16_t, DataItem>>;

// What a whole reply decoded to. Only an accepted reply carries items.
struct DecodedReply {
    ParseResult result = ParseInternalError;
    DecodedItems items;

    bool Accepted() const { return result == ParseMessageDone; }
};
