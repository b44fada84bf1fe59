#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/slave-sim/Bank.h"
#include "tools/slave-sim/FaultPlan.h"
#include "tools/slave-sim/FrameReader.h"
#include "tools/slave-sim/Slave.h"

namespace slavesim {

struct AnimatedRange {
    Table table;
    uint16_t first;
    uint16_t last;
};

struct Options {
    // TCP link (the default) or a serial device.
    std::string bindAddress = "127.0.0.1";
    int port = 5020;
    bool listen = true;  // --no-listen binds the port but never accepts
    // --refuse: connections (by their number) accepted and closed at once.
    std::vector<Range> refused;
    int maxClients = 8;
    std::string serialDevice;
    unsigned baud = 9600;
    char parity = 'N';  // N, E or O
    int dataBits = 8;
    int stopBits = 1;
    int gapMs = -1;                  // inter-frame silence; -1: 3.5 characters, at least 5 ms
    std::optional<Framing> framing;  // default: MBAP on TCP, RTU on a serial device
    uint8_t unit = 1;
    ItemCountByte itemCountByte = ItemCountByte::Items;

    int animateMs = 0;
    std::vector<AnimatedRange> animated;

    std::vector<std::string> faults;
    uint64_t seed = 1;

    std::string dumpFile;
    bool quiet = false;
    bool verbose = false;

    bool Serial() const { return !serialDevice.empty(); }
    Framing EffectiveFraming() const {
        return framing ? *framing : (Serial() ? Framing::Rtu : Framing::Mbap);
    }
};

enum class ParseOutcome { Run, Help, Error };

// Reads the command line into `options` and the --set values into `bank`.
ParseOutcome ParseOptions(int argc, char** argv, Options* options, Bank* bank, std::string* error);

// One --set assignment, e.g. "hr:100=1234" or "hr:10-13:f32=1.5,2.5"; public
// for the animation defaults and for callers that build banks.
bool ApplySet(const std::string& text, Bank* bank, std::string* error);

const char* HelpText();

}  // namespace slavesim
