// kestrom-slave-sim: a scriptable Modbus slave (see --help).
#include <cstdio>
#include <string>

#include "tools/slave-sim/Bank.h"
#include "tools/slave-sim/FaultPlan.h"
#include "tools/slave-sim/Options.h"
#include "tools/slave-sim/SerialPort.h"
#include "tools/slave-sim/Simulator.h"

int main(int argc, char** argv) {
    using namespace slavesim;
    Options options;
    Bank bank;
    std::string error;
    switch (ParseOptions(argc, argv, &options, &bank, &error)) {
        case ParseOutcome::Help:
            std::fputs(HelpText(), stdout);
            return 0;
        case ParseOutcome::Error:
            std::fprintf(stderr,
                         "kestrom-slave-sim: %s\n(kestrom-slave-sim --help lists the options)\n",
                         error.c_str());
            return 2;
        case ParseOutcome::Run:
            break;
    }
    // Check every fault rule now, so a typo is reported before anything listens.
    FaultPlan check;
    for (const std::string& rule : options.faults) {
        if (!check.Add(rule, &error)) {
            std::fprintf(stderr, "kestrom-slave-sim: --fault %s: %s\n", rule.c_str(),
                         error.c_str());
            return 2;
        }
    }
    if (options.Serial() && !SerialPort::SupportedBaud(options.baud)) {
        std::fprintf(stderr, "kestrom-slave-sim: unsupported baud rate %u\n", options.baud);
        return 2;
    }
    if (!InstallSignalHandlers()) {
        std::perror("kestrom-slave-sim: signal handlers");
        return 1;
    }
    Simulator simulator(options, bank);
    return simulator.Run();
}
