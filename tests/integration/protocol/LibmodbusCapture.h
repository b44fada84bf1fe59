#pragma once

#include <modbus.h>

#include <functional>
#include <string>

#include "ByteLink.h"

// Records the bytes libmodbus's client sends for one request. The call runs
// against a peer that never answers, so libmodbus gives up after a short
// response timeout and the request stays in the capturing end's buffer.
//
// A new libmodbus context numbers its first TCP request with transaction
// identifier 1 (it increments before sending, starting from 0).
constexpr uint16_t kLibmodbusFirstTransactionId = 1;

using ClientCall = std::function<int(modbus_t*)>;

// Modbus TCP: the client connects to a loopback listener; `captured` is the
// whole MBAP-framed request.
bool CaptureTcpRequest(const ClientCall& call, uint8_t slave, Bytes& captured, std::string& error);

// Modbus RTU: the client writes to `clientEnd` of a pty pair, the request is
// read from `captureEnd` (delimited by the silence after it), CRC included.
bool CaptureRtuRequest(const ClientCall& call, const std::string& clientEnd, ByteLink& captureEnd,
                       uint8_t slave, Bytes& captured, std::string& error);
