#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ByteLink.h"
#include "protocol/DataItem.h"
#include "protocol/Poll.h"

// Builds a request as the masters do: transaction id, slave address and
// function, the poll's set-up, the values of a write at their addresses
// (coils one address each, registers one item per step, in poll order), then
// BuildRequest. False, with error set, when the request is refused.
bool BuildMasterRequest(uint8_t protocol, uint16_t transactionId, uint8_t slave, const Poll& poll,
                        const std::vector<DataItem>& values, Bytes& request, std::string& error);
