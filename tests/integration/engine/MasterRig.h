#pragma once

#include <memory>
#include <string>

#include "MasterEvents.h"
#include "engine/ModbusMasterEthernet.h"
#include "engine/ModbusMasterSerial.h"

// A TCP or an RTU master, whichever the peer a test starts calls for, with
// its event collector, polling as fast as the peer answers. Stopped before
// its settings go.
struct MasterRig : MasterEvents {
    MasterRig() { settings.pollrate = 0; }
    ~MasterRig() {
        if (master) master->Stop(true);
    }
    void Tcp(std::uint16_t port) {
        tcp = std::make_unique<ModbusMasterEthernet>(notifier, settings);
        tcp->host = "127.0.0.1";
        tcp->port = port;
        master = tcp.get();
    }
    void Serial(const std::string& device, std::uint32_t baud = 9600) {
        settings.protocol = 1;
        serial = std::make_unique<ModbusMasterSerial>(notifier, settings);
        serial->line.devicePath = device;
        serial->line.baud = baud;
        master = serial.get();
    }
    // Starts the master; its events up to the count-th described as last.
    std::string StartUntil(const std::string& last, int count = 1, int timeoutMs = 10000) {
        EXPECT_TRUE(master->Start());
        return Until(last, count, timeoutMs);
    }

    CommsSettings settings;
    std::unique_ptr<ModbusMasterEthernet> tcp;
    std::unique_ptr<ModbusMasterSerial> serial;
    Thread* master = nullptr;
};
